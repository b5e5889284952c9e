Option Explicit
' An undefined variable: Err.Description is the standard text, the message names the variable.
On Error Resume Next
WScript.Echo undefinedName
WScript.Echo Err.Number, Err.Description
' expect: 500 Variable is undefined
On Error GoTo 0
WScript.Echo otherName
' expect error: 500 line 8
' expect stderr: Variable is undefined: 'otherName' (error 500)
