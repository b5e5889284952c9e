' Scripting.Dictionary: keys by value and type, CompareMode, order, errors.
Dim d, k, v, o
Set d = CreateObject("Scripting.Dictionary")
WScript.Echo TypeName(d), d.Count, d.CompareMode
' expect: Dictionary 0 0
d.Add "b", 2
d.Add "a", 1
d("c") = 3
d.Item("d") = 4
WScript.Echo d.Count, d("a"), d.Item("c"), Join(d.Keys, ","), Join(d.Items, ",")
' expect: 4 1 3 b,a,c,d 2,1,3,4
d.Add 1, "number one"
d.Add "1", "text one"
d.Add 2.5, "two and a half"
WScript.Echo d(1), "|", d("1"), "|", d(CLng(1)), "|", d(1.0), "|", d(5 / 2)
' expect: number one | text one | number one | number one | two and a half
WScript.Echo d.Exists("A"), d.Exists("a"), d.Exists(2), IsEmpty(d("zz")), d.Exists("zz"), d.Count
' expect: False True False True True 8
d.Remove "zz"
d.Remove 1
WScript.Echo d.Count, d.Exists(1), d.Keys()(0), d.Items()(4), d.Keys(1)
' expect: 6 False b text one a
d.Key("b") = "B"
WScript.Echo Join(d.Keys, ","), d("B")
' expect: B,a,c,d,1,2.5 2
For Each k In d
    v = v & k & "=" & d(k) & ";"
Next
WScript.Echo v
' expect: B=2;a=1;c=3;d=4;1=text one;2.5=two and a half;
d.RemoveAll
WScript.Echo d.Count, UBound(d.Keys)
' expect: 0 -1
d.CompareMode = vbTextCompare
d.Add "Key", 1
WScript.Echo d.Exists("KEY"), d("key"), d.CompareMode
' expect: True 1 1
d("KEY") = 5
WScript.Echo d.Count, d("Key"), Join(d.Keys, ",")
' expect: 1 5 Key
Set o = CreateObject("Scripting.Dictionary")
d.Add o, "object key"
Set d("obj") = o
o("inner") = 42
WScript.Echo d(o), d("obj")("inner"), TypeName(d("obj")), d.Count
' expect: object key 42 Dictionary 3
Dim many, i
Set many = CreateObject("Scripting.Dictionary")
For i = 1 To 1000
    many.Add "k" & i, i
Next
For i = 1 To 1000 Step 2
    many.Remove "k" & i
Next
WScript.Echo many.Count, many.Keys()(0), many("k1000"), many.Exists("k999")
' expect: 500 k2 1000 False

On Error Resume Next
d.Add "key", 2 : WScript.Echo "Add duplicate", Err.Number, Err.Description : Err.Clear
d.Remove "missing" : WScript.Echo "Remove missing", Err.Number : Err.Clear
d.CompareMode = 0 : WScript.Echo "CompareMode not empty", Err.Number : Err.Clear
d.Key("missing") = "x" : WScript.Echo "Key missing", Err.Number : Err.Clear
d.Key("key") = "obj" : WScript.Echo "Key taken", Err.Number : Err.Clear
d.Frobnicate : WScript.Echo "unknown member", Err.Number : Err.Clear
d.Add Array(1), 1 : WScript.Echo "array key", Err.Number : Err.Clear
d.Add "x" : WScript.Echo "Add one arg", Err.Number : Err.Clear
' expect: Add duplicate 457 This key is already associated with an element of this collection
' expect: Remove missing 32811
' expect: CompareMode not empty 5
' expect: Key missing 32811
' expect: Key taken 457
' expect: unknown member 438
' expect: array key 13
' expect: Add one arg 450
