' Execute, ExecuteGlobal, Eval and GetRef.
Dim x
x = 2
WScript.Echo Eval("x * 21")
' expect: 42
Execute "x = x + 1"
WScript.Echo x
' expect: 3
ExecuteGlobal "Function Sq(n) : Sq = n * n : End Function"
WScript.Echo Sq(9)
' expect: 81
Sub Local()
    Dim y
    y = 5
    Execute "y = y * 2"
    WScript.Echo y, Eval("y + x")
End Sub
Local
' expect: 10 13
Function Hello(who)
    Hello = "hello " & who
End Function
Dim f
Set f = GetRef("Hello")
WScript.Echo f("there")
' expect: hello there
WScript.Echo Eval("1 = 1"), Eval("""a"" & ""b""")
' expect: True ab
Execute "If x = 3 Then" & vbCrLf & "WScript.Echo ""multi-line""" & vbCrLf & "End If"
' expect: multi-line
