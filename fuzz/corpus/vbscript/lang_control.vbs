' Branches and loops.
Dim i, j, s, n
n = 5
If n > 3 Then
    WScript.Echo "big"
ElseIf n > 1 Then
    WScript.Echo "middle"
Else
    WScript.Echo "small"
End If
' expect: big
If n = 1 Then WScript.Echo "one" Else WScript.Echo "not one" : WScript.Echo "same line"
' expect: not one
' expect: same line
If n = 5 Then s = "a" : s = s & "b" Else s = "c"
WScript.Echo s
' expect: ab
If n = 4 Then WScript.Echo "no"
If n = 5 Then If s = "ab" Then WScript.Echo "nested" Else WScript.Echo "wrong"
' expect: nested

Select Case "b"
    Case "a", "b", "c"
        WScript.Echo "abc"
    Case "b"
        WScript.Echo "second match never runs"
End Select
' expect: abc
Dim vals(2) : vals(0) = 1 : vals(1) = 7 : vals(2) = 11
For Each n In vals
    Select Case n
    Case 1: WScript.Echo "one"
    Case 2 + 5: WScript.Echo "seven"
    Case Else
        WScript.Echo "other " & n
    End Select
Next
' expect: one
' expect: seven
' expect: other 11
Select Case Null
Case Null: WScript.Echo "null matches"
Case Else: WScript.Echo "null matches nothing"
End Select
' expect: null matches nothing

' Bounds and step are evaluated once; the counter may be read after the loop.
n = 3
s = ""
For i = 1 To n
    n = 10
    s = s & i
Next
WScript.Echo s, i
' expect: 123 4
s = ""
For i = 10 To 1 Step -3 : s = s & i & " " : Next
WScript.Echo s
' expect: 10 7 4 1 
s = ""
For i = 0 To 1 Step 0.25 : s = s & i & ";" : Next
WScript.Echo s
' expect: 0;0.25;0.5;0.75;1;
For i = 1 To 0 : WScript.Echo "never" : Next
s = ""
For i = 1 To 3
    For j = 1 To 3
        If j = 2 Then Exit For
        s = s & i & j & " "
    Next
Next
WScript.Echo s
' expect: 11 21 31 

i = 0
Do While i < 3 : i = i + 1 : Loop
WScript.Echo i
' expect: 3
Do Until i = 0 : i = i - 1 : Loop
WScript.Echo i
' expect: 0
Do : i = i + 1 : Loop While i < 0
WScript.Echo i
' expect: 1
Do
    i = i + 1
Loop Until i >= 5
WScript.Echo i
' expect: 5
Do
    i = i + 1
    If i = 8 Then Exit Do
Loop
WScript.Echo i
' expect: 8
While i > 6
    i = i - 1
Wend
WScript.Echo i
' expect: 6

Dim arr(1, 2), total
For i = 0 To 1 : For j = 0 To 2 : arr(i, j) = i * 10 + j : Next : Next
s = ""
For Each n In arr : s = s & n & " " : Next
WScript.Echo s
' expect: 0 10 1 11 2 12 
