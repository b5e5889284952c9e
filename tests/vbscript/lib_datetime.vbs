' Date and time functions; dates print in the house form yyyy-mm-dd hh:mm:ss.
Dim d, t
d = DateSerial(2026, 12, 6) + TimeSerial(7, 1, 37)
WScript.Echo d, TypeName(d), Year(d), Month(d), Day(d), Hour(d), Minute(d), Second(d), TypeName(Year(d))
' expect: 2026-12-06 07:01:37 Date 2026 12 6 7 1 37 Integer
WScript.Echo DateSerial(2026, 13, 1), DateSerial(2026, 3, 0), DateSerial(2024, 2, 30), DateSerial(26, 1, 1), DateSerial(99, 1, 1)
' expect: 2027-01-01 2026-02-28 2024-03-01 2026-01-01 1999-01-01
WScript.Echo TimeSerial(25, 0, 0), TimeSerial(12, -15, 0), TimeSerial(0, 0, 3661), DateSerial(1899, 12, 30)
' expect: 1899-12-31 01:00:00 11:45:00 01:01:01 00:00:00
WScript.Echo Weekday(d), Weekday(d, vbMonday), Weekday("2026-12-07"), WeekdayName(1), WeekdayName(1, True), WeekdayName(1, False, vbMonday)
' expect: 1 7 2 Sunday Sun Monday
WScript.Echo MonthName(1), MonthName(12, True), Month("Dec 6, 2026"), Day("6 December 2026")
' expect: January Dec 12 6
WScript.Echo DateAdd("m", 1, #1/31/2026#), DateAdd("yyyy", 1, #2/29/2024#), DateAdd("d", -1, #3/1/2026#), DateAdd("h", 18, d)
' expect: 2026-02-28 2025-02-28 2026-02-28 2026-12-07 01:01:37
WScript.Echo DateAdd("q", 1, #11/30/2026#), DateAdd("ww", 2, #12/6/2026#), DateAdd("n", -2, #12/6/2026#), DateAdd("s", 30, "2026-12-06 23:59:45")
' expect: 2027-02-28 2026-12-20 2026-12-05 23:58:00 2026-12-07 00:00:15
WScript.Echo DateDiff("yyyy", #12/31/2025#, #1/1/2026#), DateDiff("m", #1/31/2026#, #2/1/2026#), DateDiff("d", #1/1/2026 23:00#, #1/2/2026 1:00#), DateDiff("d", #1/10/2026#, #1/1/2026#)
' expect: 1 1 1 -9
WScript.Echo DateDiff("h", "1:59", "2:01"), DateDiff("n", #10:00:59#, #10:01:00#), DateDiff("s", #1/1/2026#, #1/2/2026#), DateDiff("w", #12/6/2026#, #12/19/2026#), DateDiff("ww", #12/5/2026#, #12/6/2026#), DateDiff("ww", #12/5/2026#, #12/6/2026#, vbMonday)
' expect: 1 1 86400 1 1 0
WScript.Echo DatePart("yyyy", d), DatePart("q", d), DatePart("y", d), DatePart("w", d), DatePart("ww", d), DatePart("ww", #1/4/2026#, vbMonday, vbFirstFourDays), DatePart("h", d)
' expect: 2026 4 340 1 50 1 7
WScript.Echo DateValue("2026-12-06 07:01:37"), TimeValue("2026-12-06 07:01:37"), DateValue(d), TimeValue("7:01 PM"), TypeName(DateValue(d))
' expect: 2026-12-06 07:01:37 2026-12-06 19:01:00 Date
WScript.Echo FormatDateTime(d), "|" & FormatDateTime(d, vbLongDate), "|" & FormatDateTime(d, vbShortDate), "|" & FormatDateTime(d, vbLongTime), "|" & FormatDateTime(d, vbShortTime)
' expect: 2026-12-06 07:01:37 |Sunday, December 6, 2026 |2026-12-06 |7:01:37 AM |07:01
WScript.Echo FormatDateTime(#12/6/2026#), FormatDateTime(TimeSerial(19, 5, 0)), FormatDateTime(#12/6/2026 7:01:37 PM#, vbLongTime)
' expect: 2026-12-06 19:05:00 7:01:37 PM
WScript.Echo #12/6/2026# < #12/7/2026#, d - DateSerial(2026, 12, 6) < 1, CDate("2026-12-06") = DateSerial(2026, 12, 6)
' expect: True True True
t = Now
WScript.Echo TypeName(Now), TypeName(Date), TypeName(Time), TypeName(Timer), Year(t) >= 2024, Date <= Now, Time < 1, Timer >= 0, Timer < 86400
' expect: Date Date Date Single True True True True True
WScript.Echo Int(CDbl(Date)) = CDbl(Date), DateDiff("s", Date + Time, Now) < 5, Len(CStr(Date)) = 10
' expect: True True True
WScript.Echo FormatNumber(1234567.891), FormatNumber(0.5, 0), FormatNumber(-1234.5, 1, , vbTrue, vbFalse), FormatNumber(0.25, 2, vbFalse), FormatNumber("3")
' expect: 1,234,567.89 1 (1234.5) .25 3.00
WScript.Echo FormatPercent(0.125), FormatPercent(1, 0), FormatCurrency(1234.5), FormatCurrency(-2), FormatCurrency(-2, 0, , vbTrue)
' expect: 12.50% 100% $1,234.50 -$2.00 ($2)

On Error Resume Next
Dim r
r = DateSerial(10000, 1, 1) : WScript.Echo "DateSerial range", Err.Number : Err.Clear
r = DateAdd("x", 1, d) : WScript.Echo "DateAdd interval", Err.Number : Err.Clear
r = DateAdd("yyyy", 8000, d) : WScript.Echo "DateAdd range", Err.Number : Err.Clear
r = DateDiff("d", "x", d) : WScript.Echo "DateDiff text", Err.Number : Err.Clear
r = Weekday(d, 8) : WScript.Echo "Weekday first", Err.Number : Err.Clear
r = WeekdayName(0) : WScript.Echo "WeekdayName 0", Err.Number : Err.Clear
r = MonthName(13) : WScript.Echo "MonthName 13", Err.Number : Err.Clear
r = FormatDateTime(d, 5) : WScript.Echo "FormatDateTime 5", Err.Number : Err.Clear
r = FormatDateTime(Null) : WScript.Echo "FormatDateTime Null", Err.Number : Err.Clear
r = FormatNumber("abc") : WScript.Echo "FormatNumber text", Err.Number : Err.Clear
r = FormatNumber(1, -2) : WScript.Echo "FormatNumber digits", Err.Number : Err.Clear
r = Year("hello") : WScript.Echo "Year text", Err.Number : Err.Clear
r = DatePart("ww", d, 1, 4) : WScript.Echo "DatePart week", Err.Number : Err.Clear
WScript.Echo IsNull(Year(Null)), IsNull(DateAdd("d", 1, Null)), IsNull(DateDiff("d", Null, d)), IsNull(DatePart("d", Null)), IsNull(DateValue(Null)), IsNull(Weekday(Null))
' expect: DateSerial range 5
' expect: DateAdd interval 5
' expect: DateAdd range 5
' expect: DateDiff text 13
' expect: Weekday first 5
' expect: WeekdayName 0 5
' expect: MonthName 13 5
' expect: FormatDateTime 5 5
' expect: FormatDateTime Null 13
' expect: FormatNumber text 13
' expect: FormatNumber digits 5
' expect: Year text 13
' expect: DatePart week 5
' expect: True True True True True True
