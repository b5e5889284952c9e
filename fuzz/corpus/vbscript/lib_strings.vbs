' String functions: positions, compare modes, limits and error numbers.
Dim s, a
s = "Hello World"
WScript.Echo Len(s), Len(""), Len(12345), Len(Empty), LenB("ab")
' expect: 11 0 5 0 4
WScript.Echo Left(s, 5) & "|" & Right(s, 5) & "|" & Left(s, 0) & "|" & Left(s, 99) & "|" & Right("ab", 9)
' expect: Hello|World||Hello World|ab
WScript.Echo Mid(s, 7) & "|" & Mid(s, 2, 3) & "|" & Mid(s, 20) & "|" & Mid(s, 11, 5) & "|" & Mid(s, 1, 0) & "|"
' expect: World|ell||d||
WScript.Echo InStr(s, "o"), InStr(6, s, "o"), InStr(s, "O"), InStr(1, s, "O", vbTextCompare), InStr(s, "")
' expect: 5 8 0 5 1
WScript.Echo InStr("", "a"), InStr(12, s, ""), InStr(13, s, ""), InStr(20, s, "o"), InStr(1, "aAb", "B", 1)
' expect: 0 12 0 0 3
WScript.Echo InStrRev(s, "o"), InStrRev(s, "o", 7), InStrRev(s, "xyz"), InStrRev(s, "L", -1, 1), InStrRev(s, "")
' expect: 8 5 0 10 11
WScript.Echo Replace("a-b-c", "-", "+"), Replace("a-b-c", "-", "", 1, 1), Replace("abcabc", "a", "x", 3)
' expect: a+b+c ab-c cxbc
WScript.Echo Replace("aAa", "a", "x", 1, -1, vbTextCompare), Replace("abc", "", "x"), Replace("abc", "b", "x", 1, 0)
' expect: xxx abc abc
a = Split("a,b,,c", ",")
WScript.Echo UBound(a), a(0) & a(1) & "|" & a(2) & "|" & a(3)
' expect: 3 ab||c
a = Split("a b c")
WScript.Echo UBound(a), UBound(Split("")), UBound(Split("abc", "")), UBound(Split("a,b,c", ",", 2)), Split("a,b,c", ",", 2)(1)
' expect: 2 -1 0 1 b,c
WScript.Echo Join(Split("1x2X3", "x", -1, vbTextCompare), "+"), Join(Array(1, "two", True)), Join(Array(), "-") & "|"
' expect: 1+2+3 1 two True |
a = Filter(Array("apple", "Banana", "cherry"), "an")
WScript.Echo UBound(a), a(0), Join(Filter(Array("apple", "Banana"), "AN", True, 1), ","), Join(Filter(Array("apple", "Banana"), "an", False), ",")
' expect: 0 Banana Banana apple
WScript.Echo "[" & Trim("  x y  ") & "][" & LTrim("  x ") & "][" & RTrim(" x  ") & "][" & Trim(vbTab & "x") & "]"
' expect: [x y][x ][ x][	x]
WScript.Echo UCase("abc xyz 1"), LCase("¿… ABC"), UCase("È‡")
' expect: ABC XYZ 1 ‡È abc …¿
WScript.Echo "[" & Space(3) & "]", String(3, "ab"), String(2, 65), String(2, 321), "[" & Space(0) & "]"
' expect: [   ] aaa AA AA []
WScript.Echo StrComp("a", "b"), StrComp("b", "a"), StrComp("a", "A"), StrComp("a", "A", 1), StrComp("ab", "a"), StrComp("", "")
' expect: -1 1 1 0 1 0
WScript.Echo StrReverse("abc"), StrReverse(""), Asc("A"), Asc("ABC"), AscW("Ä"), Chr(65) & Chr(97), ChrW(8364) = "Ä", ChrW(1234)
' expect: cba  65 65 8364 Aa True ?
WScript.Echo Hex(255), Hex(-1), Hex(CLng(-1)), Hex(-32768), Hex(CInt(-32768)), Hex(65536), Hex(1.5), Hex(Empty), Oct(8), Oct(-1), Oct(CLng(-1))
' expect: FF FFFF FFFFFFFF FFFF8000 8000 10000 2 0 10 177777 37777777777
WScript.Echo Hex("&H1F"), Hex(2147483647), Len(Chr(0)), Asc(vbTab), Asc(Chr(200)), AscB("B"), ChrB(66)
' expect: 1F 7FFFFFFF 1 9 200 66 B
WScript.Echo Escape("a b&c/ÈÄ"), Unescape("a%20b%26c%2F%E9%u20AC"), Unescape("100%"), Unescape("%u0416%zz")
' expect: a%20b%26c/%E9%u20AC a b&c/ÈÄ 100% ?%zz

On Error Resume Next
Dim r
r = Chr(256) : WScript.Echo "Chr(256)", Err.Number : Err.Clear
r = Chr(-1) : WScript.Echo "Chr(-1)", Err.Number : Err.Clear
r = Asc("") : WScript.Echo "Asc empty", Err.Number : Err.Clear
r = Left("a", -1) : WScript.Echo "Left -1", Err.Number : Err.Clear
r = Mid("a", 0) : WScript.Echo "Mid 0", Err.Number : Err.Clear
r = Mid("a", 1, -1) : WScript.Echo "Mid len -1", Err.Number : Err.Clear
r = InStr(0, "a", "a") : WScript.Echo "InStr 0", Err.Number : Err.Clear
r = InStrRev("a", "a", 0) : WScript.Echo "InStrRev 0", Err.Number : Err.Clear
r = Space(-1) : WScript.Echo "Space -1", Err.Number : Err.Clear
r = String(2, "") : WScript.Echo "String empty", Err.Number : Err.Clear
r = Replace("a", "a", "b", 0) : WScript.Echo "Replace start 0", Err.Number : Err.Clear
r = Split("a", ",", -2) : WScript.Echo "Split limit", Err.Number : Err.Clear
r = StrComp("a", "b", 3) : WScript.Echo "StrComp mode", Err.Number : Err.Clear
r = Join("abc") : WScript.Echo "Join text", Err.Number : Err.Clear
r = Hex(2147483648) : WScript.Echo "Hex overflow", Err.Number : Err.Clear
r = Left("abc", "x") : WScript.Echo "Left text", Err.Number : Err.Clear
r = Len("a", "b") : WScript.Echo "Len two", Err.Number : Err.Clear
r = Space(2147483647) : WScript.Echo "Space huge", Err.Number : Err.Clear
' expect: Chr(256) 5
' expect: Chr(-1) 5
' expect: Asc empty 5
' expect: Left -1 5
' expect: Mid 0 5
' expect: Mid len -1 5
' expect: InStr 0 5
' expect: InStrRev 0 5
' expect: Space -1 5
' expect: String empty 5
' expect: Replace start 0 5
' expect: Split limit 5
' expect: StrComp mode 5
' expect: Join text 13
' expect: Hex overflow 6
' expect: Left text 13
' expect: Len two 450
' expect: Space huge 14
