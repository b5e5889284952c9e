' A Let assignment to a variable that holds an object assigns its default
' property; a variable holding GetRef's result is called as a statement.
Class Box
    Private v_
    Public Default Property Get Value()
        Value = v_
    End Property
    Public Property Let Value(x)
        v_ = x
    End Property
End Class
Dim b, keep
Set b = New Box
Set keep = b
b = 5
WScript.Echo TypeName(b), keep.Value, b + 1
' expect: Box 5 6
Sub LocalLet()
    Dim o
    Set o = New Box
    o = "local"
    WScript.Echo TypeName(o), o.Value
End Sub
LocalLet
' expect: Box local
Dim e
Set e = Err
e = 77
WScript.Echo Err.Number, IsObject(e)
' expect: 77 True
Err.Clear
Dim plain
plain = keep
plain = 2
WScript.Echo plain, keep.Value
' expect: 2 5

Sub Ping()
    WScript.Echo "ping"
End Sub
Sub Say(t)
    WScript.Echo "said " & t
End Sub
Function Twice(n)
    Twice = 2 * n
End Function
Dim f
Set f = GetRef("Ping")
f
' expect: ping
Set f = GetRef("Say")
f "one"
Call f("two")
' expect: said one
' expect: said two
Set f = GetRef("Twice")
WScript.Echo f(21)
' expect: 42
Sub Relay(g)
    g "relayed"
End Sub
Relay GetRef("Say")
' expect: said relayed
