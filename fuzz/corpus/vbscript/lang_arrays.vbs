' Arrays: fixed and dynamic, several dimensions, ReDim Preserve, Erase,
' value semantics on assignment, ByRef elements.
Dim fixed(2), grid(1, 1), dyn(), copy, i
fixed(0) = "a" : fixed(2) = "c"
WScript.Echo fixed(0) & fixed(1) & fixed(2), TypeName(fixed), VarType(fixed)
' expect: ac Variant() 8204
grid(1, 1) = 4 : grid(0, 1) = 2
WScript.Echo grid(0, 1) + grid(1, 1)
' expect: 6
ReDim dyn(1)
dyn(0) = "x" : dyn(1) = "y"
ReDim Preserve dyn(3)
dyn(3) = "z"
WScript.Echo dyn(0) & dyn(1) & dyn(2) & dyn(3)
' expect: xyz
copy = dyn
copy(0) = "changed"
WScript.Echo dyn(0), copy(0)
' expect: x changed
ReDim dyn(1)
WScript.Echo "[" & dyn(0) & "]"
' expect: []
Erase fixed
WScript.Echo "[" & fixed(0) & "]"
' expect: []
Sub Fill(arr)
    arr(0) = "filled"
End Sub
Fill copy
WScript.Echo copy(0)
' expect: filled
Function MakeArr()
    Dim t(1)
    t(0) = 1 : t(1) = 2
    MakeArr = t
End Function
copy = MakeArr()
WScript.Echo copy(0) + copy(1), MakeArr()(1)
' expect: 3 2
' ReDim in a procedure resizes the module's array; an unknown name becomes the procedure's own.
Dim growing()
Sub Grow(n)
    ReDim Preserve growing(n)
    growing(n) = n * 10
    ReDim own(1)
    own(1) = "own"
End Sub
Grow 0 : Grow 1
WScript.Echo growing(0) + growing(1), TypeName(own)
' expect: 10 Empty
On Error Resume Next
fixed(5) = 1
WScript.Echo Err.Number
' expect: 9
ReDim fixed(4)
WScript.Echo Err.Number
' expect: 10
On Error GoTo 0
i = grid(2, 0)
' expect error: 9 line 59
