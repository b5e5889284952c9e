' The run-time error numbers scripts test for.
On Error Resume Next
Dim x, nothingHere, arr(1), s
Set nothingHere = Nothing
Class Empty_
End Class
Sub TwoArgs(a, b)
End Sub
Sub Check(label)
    WScript.Echo label, Err.Number
    Err.Clear
End Sub
x = 1 / 0 : Check "div"
' expect: div 11
x = 0 / 0 : Check "zero by zero"
' expect: zero by zero 6
x = 32767 * 32767 * 32767 * 32767 * 32767 : Check "no overflow, widens"
' expect: no overflow, widens 0
x = CInt(40000) : Check "overflow"
' expect: overflow 6
x = arr(2) : Check "subscript"
' expect: subscript 9
x = "a" - 1 : Check "mismatch"
' expect: mismatch 13
x = nothingHere.Prop : Check "member of Empty"
' expect: member of Empty 424
x = -Null + CLng(Null) : Check "null"
' expect: null 94
Set x = 5 : Check "object required"
' expect: object required 424
x = (New Empty_).Missing : Check "no member"
' expect: no member 438
TwoArgs 1 : Check "argument count"
' expect: argument count 450
For Each x In 5 : Next : Check "not a collection"
' expect: not a collection 451
x = CreateObject("No.Such.Thing") : Check "cannot create"
' expect: cannot create 429
x = New NoSuchClass : Check "class not defined"
' expect: class not defined 506
Err.Raise 5 : Check "raised"
' expect: raised 5
Eval "1 +" : Check "syntax in Eval"
' expect: syntax in Eval 1023
vbCrLf = "x" : Check "constant"
' expect: constant 501
