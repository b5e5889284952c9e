' A duplicate key ends the script with error 457 at the Add.
Dim d
Set d = CreateObject("Scripting.Dictionary")
d.Add "k", 1
d.Add "K", 2
d.Add "k", 3
' expect error: 457 line 6
