' Null where a count is needed: error 94.
Dim s
s = Left("abc", Null)
' expect error: 94 line 3
