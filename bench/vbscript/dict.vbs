Dim d, i
Set d = CreateObject("Scripting.Dictionary")
For i = 1 To 100000
    d.Add "key" & i, i
Next
WScript.Echo d.Count, d("key50000")
