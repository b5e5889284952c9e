' Include directives load the named file first, as the gateway's loader does;
' the directive itself is taken out of the text. Names are found in the folder
' of the script that was started, whichever file names them.
#include "includes\common.txt"
WScript.Echo loadedFirst, Double(4), Triple(2)
' expect: nested runs before common
' expect: common loaded 8 6
WScript.Echo "#" & "include is text here"
' expect: #include is text here
