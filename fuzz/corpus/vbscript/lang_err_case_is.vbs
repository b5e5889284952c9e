Select Case 5
    Case Is > 3
End Select
' expect error: 1023 line 2
