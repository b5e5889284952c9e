Option Explicit
Dim declared
declared = 1
undeclared = 2
' expect error: 500 line 4
