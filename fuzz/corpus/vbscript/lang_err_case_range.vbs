' No ranges in Case: a syntax error before anything runs.
WScript.Echo "never printed"
Select Case 5
    Case 1 To 9
        WScript.Echo "range"
End Select
' expect error: 1025 line 4
