' On Error Resume Next in every kind of block, the Err object, and errors
' travelling from a procedure to its caller.
On Error Resume Next
Dim x, s
x = 1 / 0
WScript.Echo Err.Number, Err.Description, Err.Source <> ""
' expect: 11 Division by zero True
Err.Clear
WScript.Echo Err.Number, "[" & Err.Description & "]"
' expect: 0 []

If 1 / 0 Then WScript.Echo "if body runs after an error in its condition"
' expect: if body runs after an error in its condition
Err.Clear
If 1 / 0 = 1 Then
    WScript.Echo "block if body too"
Else
    WScript.Echo "not the else"
End If
' expect: block if body too
Err.Clear
For x = 1 To 2
    s = "a" * x
    WScript.Echo "for body", x, Err.Number
    Err.Clear
Next
' expect: for body 1 13
' expect: for body 2 13
x = 0
Do While x < 2
    x = x + 1
    Err.Raise 5
    WScript.Echo "do body", Err.Number
Loop
' expect: do body 5
' expect: do body 5
Select Case 1
Case 1
    Err.Raise 9
    WScript.Echo "case body", Err.Number
End Select
' expect: case body 9
With New Thing
    .Missing
    WScript.Echo "with body", Err.Number
End With
' expect: with body 438
Dim two(1)
For Each x In two
    Err.Clear
    x = 1 / 0
    WScript.Echo "each", Err.Number
Next
' expect: each 11
' expect: each 11
While False
Wend
Err.Clear
Class Thing
    Public Sub Fail()
        Err.Raise 1234, "Thing", "custom failure"
        WScript.Echo "not reached: no Resume Next in this procedure"
    End Sub
End Class
Dim t : Set t = New Thing
t.Fail
WScript.Echo Err.Number, Err.Source, Err.Description
' expect: 1234 Thing custom failure
Sub Inner()
    On Error Resume Next
    Dim y : y = "zz" * 1
    WScript.Echo "inner goes on", Err.Number
End Sub
Err.Clear
Inner
' expect: inner goes on 13
Err.Raise &H80040000 + 7
WScript.Echo Err.Number = &H80040007
' expect: True
On Error GoTo 0
WScript.Echo Err.Number
' expect: 0
x = Null + 1
WScript.Echo TypeName(x)
' expect: Null
Dim z : z = Null
WScript.Echo "before"
' expect: before
If z Then WScript.Echo "null is not true" Else WScript.Echo "null is false"
' expect: null is false
Dim arr(2)
arr(z) = 1
' expect error: 94 line 92
