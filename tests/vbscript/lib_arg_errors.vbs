' The error numbers of bad arguments and misplaced calls.
On Error Resume Next
Dim r, n, fixed(3), nobody
n = Null
Sub Check(what)
    WScript.Echo what, Err.Number
    Err.Clear
End Sub

r = InStrRev(n, "a") : Check "InStrRev text"
r = InStrRev("abc", "b", n) : Check "InStrRev start"
r = DateAdd("d", n, #2026-01-01#) : Check "DateAdd count"
r = DateAdd(n, 1, #2026-01-01#) : Check "DateAdd interval"
r = IsNull(DateAdd("d", 1, n)) : Check "DateAdd Null date " & r
' expect: InStrRev text 94
' expect: InStrRev start 94
' expect: DateAdd count 94
' expect: DateAdd interval 94
' expect: DateAdd Null date True 0

r = Split("a-b", "-", -1, 2) : Check "Split compare 2"
r = Split("a-b", "-", -2) : Check "Split limit -2"
r = Mid("abc", "x", n) : Check "Mid Null length first"
r = Mid("abc", "x", 1) : Check "Mid bad start"
r = Mid(n, 0, 1) : Check "Mid start 0"
' expect: Split compare 2 5
' expect: Split limit -2 5
' expect: Mid Null length first 94
' expect: Mid bad start 13
' expect: Mid start 0 5

r = FormatNumber(n) : Check "FormatNumber"
r = FormatCurrency(n) : Check "FormatCurrency"
r = FormatPercent(n) : Check "FormatPercent"
r = FormatDateTime(n) : Check "FormatDateTime"
r = FormatNumber(1, n) : Check "FormatNumber Null digits"
' expect: FormatNumber 13
' expect: FormatCurrency 13
' expect: FormatPercent 13
' expect: FormatDateTime 13
' expect: FormatNumber Null digits 94

r = Join(n) : Check "Join Null"
r = Join(Array(1, n)) : Check "Join Null item"
r = Join(Array(1), n) : Check "Join Null delimiter"
' expect: Join Null 94
' expect: Join Null item 13
' expect: Join Null delimiter 94

' Conversions give a value: calling one as a statement is error 458 (after
' its own argument check), Randomize gives none: using its value is error 13.
Call CInt(1) : Check "Call CInt"
CLng "2" : Check "CLng statement"
Call CInt(40000) : Check "Call CInt overflow"
r = Empty : r = Randomize(0) : Check "value of Randomize " & IsEmpty(r)
Randomize 1 : Check "Randomize statement"
' expect: Call CInt 458
' expect: CLng statement 458
' expect: Call CInt overflow 6
' expect: value of Randomize True 13
' expect: Randomize statement 0

ReDim fixed(5) : Check "ReDim fixed"
ReDim fixed("x") : Check "ReDim fixed bad bound"
ReDim Preserve fixed(5) : Check "ReDim Preserve fixed"
' expect: ReDim fixed 10
' expect: ReDim fixed bad bound 10
' expect: ReDim Preserve fixed 10

Set nobody = Nothing
r = nobody.Name : Check "member of Nothing"
nobody.Name = 1 : Check "assign to member of Nothing"
r = nobody : Check "value of Nothing"
With 42 : End With : Check "With 42"
With Nothing : End With : Check "With Nothing"
r = .Name : Check "outside With"
' expect: member of Nothing 424
' expect: assign to member of Nothing 424
' expect: value of Nothing 91
' expect: With 42 424
' expect: With Nothing 0
' expect: outside With 505

r = -2147483647 - 1
r = r \ -1 : Check "smallest Long \ -1"
' expect: smallest Long \ -1 6

Set r = GetObject("winmgmts:\\.\root\cimv2") : WScript.Echo InStr(Err.Description, "'winmgmts:") > 0 : Check "GetObject moniker"
' expect: True
' expect: GetObject moniker 429
Set r = GetObject("", "Scripting.Dictionary") : Check "GetObject new " & TypeName(r)
' expect: GetObject new Dictionary 0
