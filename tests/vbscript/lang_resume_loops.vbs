' On Error Resume Next in loop headers and procedure exits: a failed header
' resumes inside the body once; a failed Loop While/Until leaves the loop;
' Err is cleared when a procedure that resumed on errors returns.
On Error Resume Next
Dim i, n, item
n = 0
For i = 1 To "x"
    n = n + 1
    WScript.Echo "for body", Err.Number
Next
WScript.Echo "after for", n
' expect: for body 13
' expect: after for 1
Err.Clear
For Each item In 42
    WScript.Echo "each body", Err.Number, IsEmpty(item)
    Exit For
    WScript.Echo "not reached"
Next
' expect: each body 451 True
Err.Clear
n = 0
Do
    n = n + 1
Loop While 1 / 0
WScript.Echo "left do while", n, Err.Number
' expect: left do while 1 11
Err.Clear
n = 0
Do
    n = n + 1
Loop Until CInt("x")
WScript.Echo "left do until", n, Err.Number
' expect: left do until 1 13

Sub Swallow()
    On Error Resume Next
    Err.Raise 5
    WScript.Echo "inside", Err.Number
End Sub
Err.Clear
Swallow
WScript.Echo "after sub", Err.Number
' expect: inside 5
' expect: after sub 5
Function Early()
    On Error Resume Next
    Dim z : z = 1 / 0
    Early = Err.Number
    Exit Function
End Function
WScript.Echo Early(), Err.Number
' expect: 11 11
Sub Plain()
End Sub
Sub Fails()
    Err.Raise 9
End Sub
Err.Raise 6
Plain
WScript.Echo "plain keeps", Err.Number
' expect: plain keeps 6
Fails
WScript.Echo "caller resumes", Err.Number
' expect: caller resumes 9
On Error GoTo 0
WScript.Echo "goto 0 clears", Err.Number
' expect: goto 0 clears 0
