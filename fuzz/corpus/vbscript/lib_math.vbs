' Math functions, the random sequence and RGB.
WScript.Echo Sqr(16), Sqr(2), Exp(0), Exp(1), Log(1), Round(Log(100) / Log(10), 10), TypeName(Sqr(4))
' expect: 4 1.4142135623731 1 2.71828182845905 0 2 Double
WScript.Echo Sin(0), Cos(0), Round(Tan(Atn(1)), 12), Atn(1) * 4, Round(Sin(Atn(1) * 2), 12)
' expect: 0 1 1 3.14159265358979 1
WScript.Echo Rnd(-1), Rnd(0), TypeName(Rnd)
' expect: 0.224007 0.224007 Single
Randomize 42
Dim a, b, i, ok
a = Rnd : b = Rnd
Randomize 42
WScript.Echo a <> b, Rnd <> a
' expect: True True
Rnd -5 : a = Rnd
Rnd -5 : b = Rnd
WScript.Echo a = b
' expect: True
ok = True
For i = 1 To 1000
    a = Rnd
    If a < 0 Or a >= 1 Then ok = False
Next
WScript.Echo ok, Rnd(-5) = Rnd(-5)
' expect: True True
Randomize
WScript.Echo Int(Rnd * 6) + 1 <= 6
' expect: True
WScript.Echo RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(300, 1, 1), vbWhite = RGB(255, 255, 255), TypeName(RGB(1, 2, 3))
' expect: 255 65280 16711680 66047 True Long

On Error Resume Next
Dim r
r = Sqr(-1) : WScript.Echo "Sqr negative", Err.Number : Err.Clear
r = Log(0) : WScript.Echo "Log 0", Err.Number : Err.Clear
r = Log(-1) : WScript.Echo "Log negative", Err.Number : Err.Clear
r = Exp(1000) : WScript.Echo "Exp overflow", Err.Number : Err.Clear
r = Sqr("x") : WScript.Echo "Sqr text", Err.Number : Err.Clear
r = Sin(Null) : WScript.Echo "Sin Null", Err.Number : Err.Clear
r = RGB(-1, 0, 0) : WScript.Echo "RGB negative", Err.Number : Err.Clear
' expect: Sqr negative 5
' expect: Log 0 5
' expect: Log negative 5
' expect: Exp overflow 6
' expect: Sqr text 13
' expect: Sin Null 94
' expect: RGB negative 5
