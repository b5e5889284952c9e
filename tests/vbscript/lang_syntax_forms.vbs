Option Explicit
' Forms the parser accepts that older scripts rely on.
Dim hi, x, y, r
Stop

' "&h" before a letter that is no hex digit is the & operator and a name.
hi = "y"
x = "x" &hi
WScript.Echo x, &hA, (&h01or&h02), 1.E3, 2.e-1
' expect: xy 10 3 1000 0.2

' =>, =< and >< spell >=, <= and <>.
WScript.Echo 2 => 1, 2 =< 1, 2 >< 2, 1 =< 1
' expect: True False False True

' A Case whose statement follows on the same line, with or without a colon.
Function Pick(n)
    Select Case n
        Case 0: Pick = "zero"
        Case 1  Pick = "one"
        Case 2
        Case Else Pick = "many"
    End Select
End Function
WScript.Echo Pick(0), Pick(1), "[" & Pick(2) & "]", Pick(7)
' expect: zero one [] many

' Procedures defined inside an If block, or on one line, exist for the whole script.
If False Then
Sub Nested
    WScript.Echo "nested sub"
End Sub
Private Function NestedF(a) : NestedF = a * 2 : End Function
End If
Sub OneLine() WScript.Echo "one line" End Sub
Function OneLineF(a) OneLineF = a + 1 End Function
Nested
OneLine
WScript.Echo NestedF(4), OneLineF(4)
' expect: nested sub
' expect: one line
' expect: 8 5

' Call with a parenthesised start; (f)(x) calls f; ((x)) passes a copy.
Class Counter
    Public n
    Public Sub Bump()
        n = n + 1
        WScript.Echo "bumped", n
    End Sub
    Public Function Init(a, b)
        n = a + b
        Set Init = Me
    End Function
End Class
Function SetFirst(arr)
    arr(0) = "changed"
    SetFirst = 1
End Function
Call (New Counter).Bump()
Call (New Counter).Bump
' expect: bumped 1
' expect: bumped 1
x = Array("kept")
Call (((SetFirst))) ((x))
WScript.Echo x(0)
' expect: kept
Call (SetFirst) (x)
WScript.Echo x(0)
' expect: changed
x = Array("kept")
r = (SetFirst)(x)
WScript.Echo r, x(0), ((x))(0)
' expect: 1 changed changed

' A member call on the new object in the same expression.
Set y = New Counter.Init(2, 3)
WScript.Echo TypeName(y), y.n
' expect: Counter 5

' A constant exists even where its statement never runs.
If False Then Const Greeting = "hello", Answer = -42
WScript.Echo Greeting, Answer, TypeName(Answer)
' expect: hello -42 Integer

' "Property" names variables, classes, procedures and properties.
Sub UsesProperty
    Dim Property
    Property = "a variable"
    WScript.Echo Property
    For Property = 1 To 2
    Next
    WScript.Echo Property
End Sub
UsesProperty
' expect: a variable
' expect: 3
Class Property
    Public Sub Property()
        WScript.Echo "sub Property"
    End Sub
    Public Property Get Value(property)
        Value = property * 2
    End Property
End Class
Set y = New Property
y.Property
WScript.Echo y.Value(21)
' expect: sub Property
' expect: 42

' "End Class", "End Function" and "End Property" right after a statement.
Class Compact
    Public a End Class
Class Compact2
    Dim b End Class
Class Compact3
    Function F(ByVal v)
        F = v * 3 End Function End Class
Class Compact4
    Public Default Property Get P
        P = "default" End Property End Class
Set y = New Compact3
WScript.Echo y.F(2), New Compact4
' expect: 6 default

' A procedure defined twice: the last definition is the one called, from anywhere.
WScript.Echo Twice()
Function Twice
    Twice = "first"
End Function
Sub Twice
End Sub
Function Twice
    Twice = "last"
End Function
' expect: last

' Continued lines and colons.
x = _
    3 : : y = 4 :
WScript.Echo x + y
' expect: 7
