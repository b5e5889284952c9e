' Classes: fields, Property Get/Let/Set, default member, Me, Initialize and
' Terminate (when the last reference goes), private members, With.
Class Counter
    Private count_
    Public Name
    Private Sub Class_Initialize()
        count_ = 0
        Name = "unnamed"
        WScript.Echo "init"
    End Sub
    Private Sub Class_Terminate()
        WScript.Echo "terminate " & Name
    End Sub
    Public Default Property Get Value()
        Value = count_
    End Property
    Public Property Let Value(v)
        If v < 0 Then Err.Raise 5
        count_ = v
    End Property
    Public Function Add(n)
        count_ = count_ + n
        Set Add = Me
    End Function
    Private Function Secret()
        Secret = 42
    End Function
    Public Function Reveal()
        Reveal = Secret() + Me.Value
    End Function
End Class

Dim c, d
Set c = New Counter
' expect: init
c.Name = "first"
c.Value = 5
c.Add(1).Add 2
WScript.Echo c.Value, c, c + 1, TypeName(c), VarType(c)
' expect: 8 8 9 Counter 9
WScript.Echo c.Reveal()
' expect: 50
Set d = c
Set c = Nothing
WScript.Echo "still held"
' expect: still held
Set d = Nothing
' expect: terminate first
With New Counter
    .Name = "temp"
    .Value = 3
    WScript.Echo .Value * 2
End With
' expect: init
' expect: 6
' expect: terminate temp

Class Node
    Public Item
    Private next_
    Public Property Set NextNode(n)
        Set next_ = n
    End Property
    Public Property Get NextNode()
        Set NextNode = next_
    End Property
End Class
Dim a, b
Set a = New Node : a.Item = "a"
Set b = New Node : b.Item = "b"
Set a.NextNode = b
WScript.Echo a.NextNode.Item, a.NextNode Is b, IsObject(a.NextNode)
' expect: b True True

Sub Rename(obj)
    obj.Name = "renamed"
End Sub
Set c = New Counter
' expect: init
Rename c
WScript.Echo c.Name
' expect: renamed
On Error Resume Next
c.Secret
WScript.Echo Err.Number
' expect: 438
c.Value = -1
WScript.Echo Err.Number, c.Value
' expect: 5 0
On Error GoTo 0
Set c = Nothing
' expect: terminate renamed
' Without Set, an object gives its default value.
x = New Counter
' expect: init
' expect: terminate unnamed
WScript.Echo x
' expect: 0
x = New Node
' expect error: 438 line 99
