' The Err object under On Error Resume Next: what a failing statement leaves
' behind, what Err.Raise reports, and where errors of called procedures go.
On Error Resume Next
Dim x, n, ran
Function Fails()
    Err.Raise 1000
End Function

' A failing For header runs the body once, then ends with 92 at Next.
n = 0 : x = 6
For x = Fails() To 10
    n = n + 1
    WScript.Echo "in For", Err.Number, x
Next
WScript.Echo "after For", n, Err.Number
' expect: in For 1000 6
' expect: after For 1 92
Err.Clear
For Each x In Fails()
    WScript.Echo "in For Each", Err.Number
Next
WScript.Echo "after For Each", Err.Number
' expect: in For Each 1000
' expect: after For Each 451
Err.Clear
For Each x In Empty
Next
WScript.Echo "For Each over Empty", Err.Number
' expect: For Each over Empty 451
Err.Clear
For x = 1 To Fails()
    Exit For
Next
WScript.Echo "left by Exit For", Err.Number
' expect: left by Exit For 1000

' A failing Select Case runs no case; a failing Case expression runs its case.
Err.Clear
ran = "none"
Select Case Fails()
    Case Empty: ran = "empty"
    Case Else: ran = "else"
End Select
WScript.Echo "Select", ran, Err.Number
' expect: Select none 1000
Err.Clear
Select Case 3
    Case 1: ran = "one"
    Case Fails(): ran = "failing case"
    Case 3: ran = "three"
End Select
WScript.Echo ran
' expect: failing case

' A failing With still runs its body.
Err.Clear
ran = False
With Fails()
    ran = True
End With
WScript.Echo "With body", ran, Err.Number
' expect: With body True 1000

' An error inside a procedure that resumes is still there when it returns.
Sub Resumes()
    On Error Resume Next
    x = 1 / 0
End Sub
Sub Propagates()
    x = 1 / 0
    WScript.Echo "not reached"
End Sub
Err.Clear
Resumes
WScript.Echo "after Resumes", Err.Number
Err.Clear
Propagates
WScript.Echo "after Propagates", Err.Number
' expect: after Resumes 11
' expect: after Propagates 11

' Err.Raise: numbers of the language and HRESULTs.
Sub Try(n)
    On Error Resume Next
    Err.Clear
    Err.Raise n
    WScript.Echo Err.Number, Err.Description
End Sub
Try 0
Try 9
Try &h8007000E&
Try &h800A000B&
Try &h10000&
Try &h80004005&
Try &h8000
' expect: 5 Invalid procedure call or argument
' expect: 9 Subscript out of range
' expect: 7 Out of memory
' expect: 11 Division by zero
' expect: 5 Invalid procedure call or argument
' expect: -2147467259 Unknown runtime error
' expect: -32768 Unknown runtime error
Err.Clear
Err.Raise
WScript.Echo "no number", Err.Number
' expect: no number 450

' What a later Raise leaves out it keeps from the error Err holds.
Err.Clear
Err.Raise 1, "mine", "my text", "help.chm", 12
Err.Raise 5
WScript.Echo Err.Number, Err.Source, Err.Description, Err.HelpFile, Err.HelpContext
' expect: 5 mine my text help.chm 12
Err.Clear
Err.Raise 13
WScript.Echo Err.Source, "|", Err.Description, "|", Err.HelpFile, Err.HelpContext
' expect: Microsoft VBScript runtime error | Type mismatch |  0
Err.Raise 1, "mine", "my text", "help.chm", 12
x = Nothing
WScript.Echo Err.Number, Err.Source, "|", Err.Description, "|", Err.HelpFile, Err.HelpContext
' expect: 91 Microsoft VBScript runtime error | Object variable not set |  0

' Syntax errors in Execute come from the compiler.
Err.Clear
Execute "x = ("
WScript.Echo Err.Number, Err.Source
' expect: 1023 Microsoft VBScript compilation error
On Error GoTo 0
WScript.Echo "cleared", Err.Number, Err.Source = ""
' expect: cleared 0 True
