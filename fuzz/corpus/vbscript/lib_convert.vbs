' Conversions, rounding, type tests and array bounds.
Dim m(2, 3), x
WScript.Echo CInt(2.5), CInt(3.5), CInt(-2.5), CInt("12"), CLng("1e3"), CLng(" -7 "), CByte(255.4), CInt(True)
' expect: 2 4 -2 12 1000 -7 255 -1
WScript.Echo CDbl("1,000.5"), CSng(1 / 3), CDbl(1 / 3), CCur(1.23456), CCur("12.5"), CDbl(Empty)
' expect: 1000.5 0.3333333 0.333333333333333 1.2346 12.5 0
WScript.Echo TypeName(CInt(1)), TypeName(CLng(1)), TypeName(CByte(1)), TypeName(CSng(1)), TypeName(CDbl(1)), TypeName(CCur(1)), TypeName(CBool(1)), TypeName(CStr(1)), TypeName(CDate(1))
' expect: Integer Long Byte Single Double Currency Boolean String Date
WScript.Echo CBool("true"), CBool("False"), CBool(0), CBool("0"), CBool(-0.5), CBool(Empty)
' expect: True False False False True False
WScript.Echo CStr(True) & "|" & CStr(1.5) & "|" & CStr(Empty) & "|" & CStr(-0.0) & "|" & CStr(1E+20) & "|" & CStr(0.00001)
' expect: True|1.5||0|1E+20|1E-05
WScript.Echo CDate("2026-12-06 07:01:37"), CDate("12/6/2026"), CDate("19:05"), CDate(46362.5), CDate(0)
' expect: 2026-12-06 07:01:37 2026-12-06 19:05:00 2026-12-06 12:00:00 00:00:00
WScript.Echo Int(2.7), Int(-2.5), Fix(-2.5), Fix(2.7), Int("3.7"), Int(True), Int(Empty), Fix(-0.5)
' expect: 2 -3 -2 2 3 -1 0 0
WScript.Echo TypeName(Int(2.5)), TypeName(Int(CInt(3))), TypeName(Int("3.7")), TypeName(Fix(CCur(2.5))), TypeName(Int(CSng(1.5))), TypeName(Int(#1/1/2020 13:00#))
' expect: Double Integer Double Currency Single Date
WScript.Echo Int(CCur(-2.5)), Fix(CCur(-2.5)), Int(#1/1/2020 13:00#)
' expect: -3 -2 2020-01-01
WScript.Echo Round(2.5), Round(3.5), Round(-2.5), Round(2.567, 2), Round(1.005, 2), Round(0.125, 2), Round("4.5"), TypeName(Round(CInt(5)))
' expect: 2 4 -2 2.57 1 0.12 4 Integer
WScript.Echo Abs(-5), Abs(-2.5), Abs(Empty), Abs(CInt(-32768)), TypeName(Abs(CInt(-32768))), Abs("-3"), Abs(CCur(-1.5)), TypeName(Abs(CLng(-5)))
' expect: 5 2.5 0 32768 Long 3 1.5 Long
WScript.Echo Sgn(-3), Sgn(0), Sgn(2.5), Sgn("-1e-9"), TypeName(Sgn(5))
' expect: -1 0 1 -1 Integer
WScript.Echo IsNumeric("12"), IsNumeric(" 12 "), IsNumeric("1e5"), IsNumeric("&HFF"), IsNumeric("1,000"), IsNumeric("-.5")
' expect: True True True True True True
WScript.Echo IsNumeric("abc"), IsNumeric(""), IsNumeric("1 2"), IsNumeric(Empty), IsNumeric(Null), IsNumeric(True), IsNumeric(#1/1/2026#), IsNumeric(Array(1))
' expect: False False False True False True False False
WScript.Echo IsDate("2026-12-06"), IsDate("12/6/2026 7:01 PM"), IsDate("Dec 6, 2026"), IsDate("hello"), IsDate(Now), IsDate(3), IsDate(Null), IsDate("2/30/2026")
' expect: True True True False True False False False
WScript.Echo IsEmpty(Empty), IsEmpty(""), IsEmpty(x), IsNull(Null), IsNull(Empty), IsObject(Nothing), IsObject(1), IsArray(Array()), IsArray("a"), IsArray(m)
' expect: True False True True False True False True False True
WScript.Echo UBound(Array()), LBound(Array()), UBound(Array(1, 2, 3)), UBound(m), UBound(m, 2), LBound(m, 2), Array(1, "b")(1)
' expect: -1 0 2 2 3 0 b

On Error Resume Next
Dim r
r = CInt(32768) : WScript.Echo "CInt overflow", Err.Number : Err.Clear
r = CInt("x") : WScript.Echo "CInt text", Err.Number : Err.Clear
r = CByte(256) : WScript.Echo "CByte overflow", Err.Number : Err.Clear
r = CByte(-1) : WScript.Echo "CByte negative", Err.Number : Err.Clear
r = CLng(Null) : WScript.Echo "CLng Null", Err.Number : Err.Clear
r = CLng(3000000000) : WScript.Echo "CLng overflow", Err.Number : Err.Clear
r = CDate("x") : WScript.Echo "CDate text", Err.Number : Err.Clear
r = CDate(3000000) : WScript.Echo "CDate range", Err.Number : Err.Clear
r = CBool("abc") : WScript.Echo "CBool text", Err.Number : Err.Clear
r = CStr(Null) : WScript.Echo "CStr Null", Err.Number : Err.Clear
r = CDbl(Array(1)) : WScript.Echo "CDbl array", Err.Number : Err.Clear
r = Round(1, -1) : WScript.Echo "Round digits", Err.Number : Err.Clear
r = UBound("x") : WScript.Echo "UBound text", Err.Number : Err.Clear
r = UBound(m, 3) : WScript.Echo "UBound dim", Err.Number : Err.Clear
r = Sgn(Null) : WScript.Echo "Sgn Null", Err.Number : Err.Clear
r = Int("abc") : WScript.Echo "Int text", Err.Number : Err.Clear
' expect: CInt overflow 6
' expect: CInt text 13
' expect: CByte overflow 6
' expect: CByte negative 6
' expect: CLng Null 94
' expect: CLng overflow 6
' expect: CDate text 13
' expect: CDate range 6
' expect: CBool text 13
' expect: CStr Null 94
' expect: CDbl array 13
' expect: Round digits 5
' expect: UBound text 13
' expect: UBound dim 9
' expect: Sgn Null 94
' expect: Int text 13
