' Locals and parameters of calls that nest deeply, pass variables ByRef down
' the chain, fail part way, and release objects as they return.
Function SumDown(n, ByRef total)
    Dim a, b, c, d, e, f, g, h
    a = n : h = n * 2
    total = total + n
    If n > 0 Then SumDown = SumDown(n - 1, total) + a Else SumDown = 0
    If h <> n * 2 Then SumDown = "locals lost at depth " & n
End Function
Dim total
total = 0
' Deep enough that the calls' slots run over more than one block.
WScript.Echo SumDown(800, total), total
' expect: 320400 320400

' A ByRef parameter reaches the caller's local, several calls up.
Sub Bump(ByRef v, depth)
    If depth = 0 Then v = v & "!" Else Bump v, depth - 1
End Sub
Function Outer()
    Dim mine
    mine = "local"
    Bump mine, 20
    Outer = mine
End Function
WScript.Echo Outer()
' expect: local!

' An error deep in the chain unwinds every frame; calls after it start clean.
Function FailAt(n)
    Dim keep
    keep = n
    If n = 0 Then FailAt = 1 / 0 Else FailAt = FailAt(n - 1) + keep
End Function
On Error Resume Next
WScript.Echo "failed", FailAt(200)
WScript.Echo Err.Number
Err.Clear
On Error GoTo 0
WScript.Echo SumDown(3, total)
' expect: 11
' expect: 6

' An object held only by a local goes when its procedure returns; its
' Class_Terminate may call procedures of its own.
Class Noisy
    Public Name
    Private Sub Class_Terminate()
        Report Name
    End Sub
End Class
Sub Report(what)
    Dim spare
    spare = "released " & what
    WScript.Echo spare
End Sub
Function Make(name)
    Dim n, other
    Set n = New Noisy
    n.Name = name
    other = 5
    Make = Len(name) + other
End Function
WScript.Echo Make("first")
' expect: released first
' expect: 10
