WScript.Echo "fine"
WScript.Echo "not closed
' expect error: 1033 line 2
