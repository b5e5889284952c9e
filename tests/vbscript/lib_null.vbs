' Null in the library: the text functions pass it on, counts and positions reject it.
Dim n
n = Null
WScript.Echo IsNull(Len(n)), IsNull(LenB(n)), IsNull(Left(n, 1)), IsNull(Right(n, 1)), IsNull(Mid(n, 1)), IsNull(Mid(n, 1, 2))
' expect: True True True True True True
WScript.Echo IsNull(UCase(n)), IsNull(LCase(n)), IsNull(Trim(n)), IsNull(LTrim(n)), IsNull(RTrim(n)), IsNull(String(3, n))
' expect: True True True True True True
WScript.Echo IsNull(InStr(n, "a")), IsNull(InStr("a", n)), IsNull(InStr(1, n, "a", 1)), IsNull(StrComp(n, "a")), IsNull(StrComp("a", n, 1))
' expect: True True True True True
WScript.Echo IsNull(Hex(n)), IsNull(Oct(n)), IsNull(Int(n)), IsNull(Fix(n)), IsNull(Abs(n)), IsNull(Round(n)), IsNull(Round(n, 2))
' expect: True True True True True True True
WScript.Echo IsNull(Year(n)), IsNull(Month(n)), IsNull(Day(n)), IsNull(Hour(n)), IsNull(Minute(n)), IsNull(Second(n)), IsNull(TimeValue(n))
' expect: True True True True True True True
WScript.Echo IsNumeric(n), IsDate(n), IsEmpty(n), IsObject(n), IsArray(n), Join(Array("a", Empty, "b"), "-")
' expect: False False False False False a--b

On Error Resume Next
Dim r
r = Left("abc", n) : WScript.Echo "Left count", Err.Number : Err.Clear
r = Mid("abc", n) : WScript.Echo "Mid start", Err.Number : Err.Clear
r = Mid("abc", 1, n) : WScript.Echo "Mid length", Err.Number : Err.Clear
r = InStr(n, "abc", "b") : WScript.Echo "InStr start", Err.Number : Err.Clear
r = Space(n) : WScript.Echo "Space", Err.Number : Err.Clear
r = String(n, "a") : WScript.Echo "String count", Err.Number : Err.Clear
r = Chr(n) : WScript.Echo "Chr", Err.Number : Err.Clear
r = Asc(n) : WScript.Echo "Asc", Err.Number : Err.Clear
r = StrReverse(n) : WScript.Echo "StrReverse", Err.Number : Err.Clear
r = Replace(n, "a", "b") : WScript.Echo "Replace", Err.Number : Err.Clear
r = Split(n) : WScript.Echo "Split", Err.Number : Err.Clear
r = Filter(Array("a", n), "a") : WScript.Echo "Filter", Err.Number : Err.Clear
r = CInt(n) : WScript.Echo "CInt", Err.Number : Err.Clear
r = CBool(n) : WScript.Echo "CBool", Err.Number : Err.Clear
r = CDate(n) : WScript.Echo "CDate", Err.Number : Err.Clear
r = Sqr(n) : WScript.Echo "Sqr", Err.Number : Err.Clear
r = DateSerial(n, 1, 1) : WScript.Echo "DateSerial", Err.Number : Err.Clear
r = FormatNumber(1, n) : WScript.Echo "FormatNumber digits", Err.Number : Err.Clear
r = MonthName(n) : WScript.Echo "MonthName", Err.Number : Err.Clear
r = InStrRev(n, "a") : WScript.Echo "InStrRev", Err.Number : Err.Clear
r = Join(Array("a", n)) : WScript.Echo "Join Null item", Err.Number : Err.Clear
r = FormatNumber(n) : WScript.Echo "FormatNumber value", Err.Number : Err.Clear
' expect: Left count 94
' expect: Mid start 94
' expect: Mid length 94
' expect: InStr start 94
' expect: Space 94
' expect: String count 94
' expect: Chr 94
' expect: Asc 94
' expect: StrReverse 94
' expect: Replace 94
' expect: Split 94
' expect: Filter 94
' expect: CInt 94
' expect: CBool 94
' expect: CDate 94
' expect: Sqr 94
' expect: DateSerial 94
' expect: FormatNumber digits 94
' expect: MonthName 94
' expect: InStrRev 94
' expect: Join Null item 13
' expect: FormatNumber value 13
