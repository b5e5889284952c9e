' Literals, declarations, separators, continuations and comments.
Option Explicit
Dim a, b, s : a = 1 : b = 2
Const Greeting = "He said ""hi"""
WScript.Echo Greeting
' expect: He said "hi"
WScript.Echo &HFF, &H10&, &HFFFF, &HFFFF&, &O17
' expect: 255 16 -1 65535 15
WScript.Echo TypeName(&HFFFF), TypeName(&H10000), TypeName(32767), TypeName(32768), TypeName(1.5)
' expect: Integer Long Integer Long Double
s = "one" & _
    " two" & _
    " three"
WScript.Echo s
' expect: one two three
REM a comment line
WScript.Echo a + b ' trailing comment
' expect: 3
Rem another
WScript.Echo #2026-12-06# = #12/6/2026# Or False
' expect: True
WScript.Echo TypeName(#1/2/2000#), TypeName(Empty), TypeName(Null), TypeName(Nothing), TypeName(True)
' expect: Date Empty Null Nothing Boolean
WScript.Echo VarType(Empty), VarType(Null), VarType(1), VarType(100000), VarType(1.5), VarType("x"), VarType(True)
' expect: 0 1 2 3 5 8 11
Dim [my var]
[my var] = 7
WScript.Echo [my var] * 2
' expect: 14
WScript.Echo 2 + 3 * 4 ^ 2 / 8, -2 ^ 2, 2 ^ -1, 7 \ 2 * 2, 10 Mod 4 + 1
' expect: 8 4 0.5 1 3
WScript.Echo 1 & 2 + 3, "a" & 1 = "a1"
' expect: 15 True
WScript.Echo Not 1 = 2, Not 0, True And Not False
' expect: True -1 True
