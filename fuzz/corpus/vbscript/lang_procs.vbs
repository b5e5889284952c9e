' Sub and Function: ByRef (the default) writes through, ByVal copies,
' parentheses around one argument pass it by value, Call, Exit.
Sub AddOne(x)
    x = x + 1
End Sub
Sub AddOneByVal(ByVal x)
    x = x + 1
End Sub
Function Twice(ByRef v)
    Twice = v * 2
    v = 0
End Function
Dim a, arr(2), r
a = 1
AddOne a
WScript.Echo a
' expect: 2
AddOne (a)
WScript.Echo a
' expect: 2
Call AddOne(a)
WScript.Echo a
' expect: 3
AddOneByVal a
WScript.Echo a
' expect: 3
r = Twice(a)
WScript.Echo r, a
' expect: 6 0
arr(1) = 10
AddOne arr(1)
WScript.Echo arr(1)
' expect: 11
r = Twice((arr(1)))
WScript.Echo r, arr(1)
' expect: 22 11

Function Classify(n)
    Classify = "small"
    If n < 10 Then Exit Function
    Classify = "large"
End Function
WScript.Echo Classify(3), Classify(30)
' expect: small large

Sub Early(ByRef log)
    log = log & "a"
    Exit Sub
    log = log & "b"
End Sub
Dim lg : Early lg
WScript.Echo lg
' expect: a

Function Fact(n)
    If n <= 1 Then Fact = 1 Else Fact = n * Fact(n - 1)
End Function
WScript.Echo Fact(10)
' expect: 3628800

Function NoArgs()
    NoArgs = "called"
End Function
WScript.Echo NoArgs, NoArgs()
' expect: called called

' A procedure's undeclared variables are its own; the global stays untouched.
Dim shared : shared = "global"
Sub UsesLocal()
    temp = 5
    shared = shared & "+"
End Sub
UsesLocal
WScript.Echo shared, TypeName(temp)
' expect: global+ Empty

Sub Multi(a, b, c)
    WScript.Echo a & b & c
End Sub
Multi 1, 2, 3
' expect: 123
Multi (1), 2, 3
' expect: 123
Multi (1) + 1, 2, 3
' expect: 223

' A module variable made by assignment alone is still the one a procedure sees.
counter = 0
Sub Bump()
    counter = counter + 1
End Sub
Bump : Bump
WScript.Echo counter
' expect: 2
