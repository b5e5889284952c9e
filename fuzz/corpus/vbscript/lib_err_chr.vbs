' An error from a built-in that no handler catches ends the script with its number and line.
WScript.Echo Chr(65)
' expect: A
WScript.Echo Chr(300)
' expect error: 5 line 4
WScript.Echo "not reached"
