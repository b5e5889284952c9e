' Recursion without end stops with "Out of stack space".
Function Down(n)
    Down = Down(n + 1)
End Function
WScript.Echo Down(1)
' expect error: 28 line 3
