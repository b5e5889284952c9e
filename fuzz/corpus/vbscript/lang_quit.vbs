WScript.Echo WScript.ScriptName, WScript.Arguments.Count
' expect: lang_quit.vbs 0
WScript.Echo "a", 1, True
' expect: a 1 True
WScript.Quit 0
WScript.Echo "after quit"
