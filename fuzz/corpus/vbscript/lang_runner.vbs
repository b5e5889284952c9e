' args: alpha beta 42
' The runner's WScript object.
Dim a, all
WScript.Echo WScript.Arguments.Count, WScript.Arguments.Length, WScript.Arguments(0), WScript.Arguments.Item(2)
' expect: 3 3 alpha 42
For Each a In WScript.Arguments
    all = all & "[" & a & "]"
Next
WScript.Echo all
' expect: [alpha][beta][42]
WScript.Echo WScript.ScriptName, Right(WScript.ScriptFullName, 15) = "\" & "lang_runner.vbs" Or Right(WScript.ScriptFullName, 16) = "/lang_runner.vbs"
' expect: lang_runner.vbs True
WScript.StdOut.Write "no newline, "
WScript.StdOut.WriteLine "then one"
' expect: no newline, then one
WScript.Echo
' expect:
WScript.Echo Null, Empty, 1.5
' expect: Null  1.5
MsgBox "a message box prompt"
' expect: a message box prompt
WScript.Sleep 1
WScript.Quit 3
WScript.Echo "not reached"
' expect exit: 3
