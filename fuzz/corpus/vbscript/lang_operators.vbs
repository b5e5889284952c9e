' Operators over the Variant types: result types, Empty and Null rules, comparisons.
Dim e, n, big
n = Null
WScript.Echo e + 1, e & "x", TypeName(e + e), TypeName(e & e), e = 0, e = ""
' expect: 1 x Integer String True True
WScript.Echo TypeName(n + 1), TypeName(n & "x"), n & "x", TypeName(n = 1), TypeName(n & n)
' expect: Null String x Null Null
WScript.Echo TypeName(Null And False), Null And False, TypeName(Null And True), Null Or True, TypeName(Null Or False)
' expect: Boolean False Null True Null
WScript.Echo TypeName(Not Null), False Imp Null, TypeName(True Imp Null), TypeName(Null Xor True)
' expect: Null True Null Null
WScript.Echo True Eqv True, True Eqv False, False Imp False, 12 And 10, 12 Or 3, 12 Xor 10, 5 Eqv 3, 2 Imp 1
' expect: True False True 8 15 6 -7 -3
big = 32767
WScript.Echo TypeName(big + 1), big + 1, TypeName(2147483647 + 1)
' expect: Long 32768 Double
WScript.Echo TypeName(1 + 1.5), TypeName(5 / 1), 7 / 2, -7 \ 2, -7 Mod 3, 7.6 \ 2, 7.5 Mod 2
' expect: Double Double 3.5 -3 -1 4 0
WScript.Echo "1" + 2, TypeName("1" + 2), "1" + "2", 1 & 2
' expect: 3 Double 12 12
WScript.Echo True + True, TypeName(True + 1), 1.5 * 2 & ""
' expect: -2 Integer 3
Dim s10, ten
s10 = "10" : ten = 10
WScript.Echo s10 = 10, s10 = ten, ten < s10, "abc" < "abd", "B" < "a", "10" < "9"
' expect: True False True True True True
WScript.Echo 1 = 1.0, 0.1 + 0.2 = 0.3, 1E+300 * 10 > 0
' expect: True False True
Dim d
d = #2026-12-06# + 1
WScript.Echo TypeName(d), d = #2026-12-07#, TypeName(d - #2026-12-01#), d - #2026-12-01#
' expect: Date True Double 6
Class Thing
End Class
Dim o1, o2
Set o1 = New Thing : Set o2 = o1
WScript.Echo o1 Is o2, o1 Is Nothing, Nothing Is Nothing
' expect: True False True
