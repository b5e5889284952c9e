' A variable may not share its name with a class or procedure of the same code.
Class Point
End Class
Dim x, point
' expect error: 1041 line 4
