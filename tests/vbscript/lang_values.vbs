' Literal and constant types, conversions at their edges, and assignment of
' plain values over objects.
Class Plain
End Class
Class Boxed
    Private v_
    Public Default Property Get Value()
        Value = v_
    End Property
    Public Property Let Value(x)
        v_ = x
    End Property
End Class
Dim x, keep
Set x = New Plain
x = 5
WScript.Echo x, TypeName(x)
' expect: 5 Integer
Set x = CreateObject("Scripting.Dictionary")
x = "text"
WScript.Echo x
' expect: text
' An object whose default property takes a value keeps it.
Set x = New Boxed
Set keep = x
x = 7
WScript.Echo TypeName(x), keep.Value
' expect: Boxed 7

' Hex literals: 16 bits are an Integer pattern, "&" or more digits a Long one;
' the value then takes the smallest type that holds it.
WScript.Echo &hFFFF, TypeName(&hFFFF), &hFFFF&, TypeName(&hFFFF&), &h10000, TypeName(&h10000)
' expect: -1 Integer 65535 Long 65536 Long
WScript.Echo &h10&, TypeName(&h10&), &hFFFFFFFF&, TypeName(&hFFFFFFFF&), TypeName(&h7FFFFFFF)
' expect: 16 Integer -1 Integer Long

' Constants have the types scripts test for.
WScript.Echo TypeName(vbBlack), TypeName(vbRed), TypeName(vbWhite), TypeName(vbMsgBoxHelpButton), TypeName(vbObjectError)
' expect: Long Long Long Long Long
WScript.Echo TypeName(vbOK), TypeName(vbSunday), TypeName(vbCritical), TypeName(vbArray), TypeName(vbTrue), TypeName(vbUseDefault)
' expect: Integer Integer Integer Integer Integer Integer

' Negation binds tighter than ^.
WScript.Echo -3 ^ 2, -(3 ^ 2), 2 ^ -1, 2 * -3 ^ 2
' expect: 9 -9 0.5 18

' Boolean text as Windows writes it to files.
WScript.Echo CBool("#TRUE#"), CBool("#false#"), Not "#FALSE#", CBool("True"), Not "1"
' expect: True False True True -2
If "#TRUE#" Then WScript.Echo "if #TRUE#"
' expect: if #TRUE#

' Conversions at their edges.
WScript.Echo CByte(True), CByte(False), TypeName(CByte(True)), CSng(0.1) = 0.1, CSng(0.5) = 0.5, CDbl(CSng(0.1)) = 0.1
' expect: 255 0 Byte True True False
WScript.Echo Round(True), TypeName(Round(True)), TypeName(Round(False, 2))
' expect: True Boolean Boolean

' The built-in RegExp is made by New even when the script has a class of that name.
Class RegExp
    Public Pattern
End Class
Set x = New RegExp
WScript.Echo TypeName(x), x.Global
' expect: IRegExp2 False

' A copy of a fixed-size array is an ordinary array: it may be resized.
Dim fixed(2), copy
fixed(1) = "one"
copy = fixed
ReDim Preserve copy(5)
WScript.Echo UBound(copy), copy(1), UBound(fixed)
' expect: 5 one 2
Function MakeFixed()
    Dim a(1)
    a(0) = "from function"
    MakeFixed = a
End Function
copy = MakeFixed()
ReDim Preserve copy(3)
WScript.Echo UBound(copy), copy(0)
' expect: 3 from function
Class Holder
    Public items(2)
End Class
Set x = New Holder
copy = x.items
ReDim copy(7)
WScript.Echo UBound(copy), UBound(x.items)
' expect: 7 2
