' VBScript.RegExp and New RegExp: Test, Execute, Replace, SubMatches, flags, errors.
Dim re, m, ms, s
Set re = New RegExp
WScript.Echo TypeName(re), re.Pattern = "", re.Global, re.IgnoreCase, re.Multiline
' expect: IRegExp2 True False False False
re.Pattern = "(\w+)@(\w+)\.com"
WScript.Echo re.Test("mail bob@home.com now"), re.Test("nothing here")
' expect: True False
Set ms = re.Execute("bob@home.com, amy@work.com")
WScript.Echo TypeName(ms), ms.Count, ms(0).Value, ms(0).FirstIndex, ms(0).Length
' expect: IMatchCollection2 1 bob@home.com 0 12
Set m = ms.Item(0)
WScript.Echo TypeName(m), m, m.SubMatches.Count, m.SubMatches(0), m.SubMatches.Item(1), TypeName(m.SubMatches)
' expect: IMatch2 bob@home.com 2 bob home ISubMatches
re.Global = True
For Each m In re.Execute("bob@home.com, amy@work.com")
    s = s & m.FirstIndex & ":" & m.SubMatches(0) & "/" & m.SubMatches(1) & " "
Next
WScript.Echo s
' expect: 0:bob/home 14:amy/work 
WScript.Echo re.Replace("bob@home.com, amy@work.com", "$2 has $1"), "|", re.Replace("x", "y")
' expect: home has bob, work has amy | x
Set re = CreateObject("VBScript.RegExp")
re.Pattern = "o"
WScript.Echo re.Replace("foo", "0"), re.Execute("foo").Count
' expect: f0o 1
re.Global = True
WScript.Echo re.Replace("foo", "0"), re.Execute("foo").Count, re.Replace("foo", "[$&|$`|$'|$$]")
' expect: f00 2 f[o|f|o|$][o|fo||$]
re.Pattern = "HELLO"
WScript.Echo re.Test("say hello")
re.IgnoreCase = True
WScript.Echo re.Test("say hello")
' expect: False
' expect: True
re.Pattern = "^\d+$"
WScript.Echo re.Test("12" & vbCrLf & "34"), re.Execute("12" & vbLf & "34").Count
re.Multiline = True
WScript.Echo re.Test("ab" & vbLf & "34"), re.Execute("12" & vbLf & "34").Count
' expect: False 0
' expect: True 2
re.Multiline = False
re.Pattern = "(a)|(b)"
Set m = re.Execute("b")(0)
WScript.Echo IsEmpty(m.SubMatches(0)), m.SubMatches(1)
' expect: True b
re.Pattern = "\s+"
WScript.Echo Join(Split(Trim(re.Replace("  a   b  c ", " ")), " "), ","), re.Execute("").Count
' expect: a,b,c 0
re.Pattern = "(\d{4})-(\d\d)-(\d\d)"
WScript.Echo re.Replace("on 2026-12-06 and 2027-01-02", "$3/$2/$1")
' expect: on 06/12/2026 and 02/01/2027
re.Pattern = "<[^>]+?>"
WScript.Echo re.Replace("<b>bold</b> <i>it</i>", "")
' expect: bold it
re.Pattern = "(\w)\1"
WScript.Echo re.Execute("bookkeeper").Count, re.Execute("bookkeeper")(1)
' expect: 3 kk

On Error Resume Next
Dim r
re.Pattern = "(a"
r = re.Test("a") : WScript.Echo "unclosed group", Err.Number, Err.Description : Err.Clear
re.Pattern = "[a"
r = re.Test("a") : WScript.Echo "unclosed class", Err.Number : Err.Clear
re.Pattern = "*a"
r = re.Test("a") : WScript.Echo "bare quantifier", Err.Number : Err.Clear
re.Pattern = "[z-a]"
r = re.Execute("a") : WScript.Echo "bad range", Err.Number : Err.Clear
re.Pattern = "(a+)+$"
r = re.Test(String(40, "a") & "b") : WScript.Echo "runaway", Err.Number : Err.Clear
r = re.Execute("aaa")(5) : WScript.Echo "match index", Err.Number : Err.Clear
r = re.Frob : WScript.Echo "unknown member", Err.Number : Err.Clear
' expect: unclosed group 5020 Expected ')' in regular expression
' expect: unclosed class 5019
' expect: bare quantifier 5018
' expect: bad range 5021
' expect: runaway 28
' expect: match index 5
' expect: unknown member 438
