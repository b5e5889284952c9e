' A script saved as UTF-8 with its byte-order mark: read as the text it holds.
Dim s
s = "café"
WScript.Echo Len(s), AscW(Right(s, 1))
' expect: 4 233
