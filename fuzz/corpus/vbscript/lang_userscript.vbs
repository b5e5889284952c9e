' The shape of the scripts users bring: a Main(tag) procedure that branches on
' the tag, keeps state in a dictionary, builds text, compares times and
' survives its own errors.
Option Explicit
Dim states : Set states = CreateObject("Scripting.Dictionary")

Sub Main(tag)
    On Error Resume Next
    Dim parts, level, msg
    parts = Split(tag, ".")
    Select Case LCase(parts(0))
        Case "kitchen", "hall"
            level = CInt(parts(1))
            If states.Exists(parts(0)) Then
                msg = parts(0) & " was " & states(parts(0)) & ", now " & level
            Else
                msg = parts(0) & " first seen at " & level
            End If
            states(parts(0)) = level
        Case "bad"
            level = 1 / 0
            msg = "bad tag handled, error " & Err.Number
            Err.Clear
        Case Else
            msg = "ignored " & tag
    End Select
    WScript.Echo msg
End Sub

Main "Kitchen.40"
' expect: Kitchen first seen at 40
Main "Kitchen.80"
' expect: Kitchen was 40, now 80
Main "hall.5"
' expect: hall first seen at 5
Main "bad.1"
' expect: bad tag handled, error 11
Main "garage.1"
' expect: ignored garage.1

Dim k, summary
For Each k In states
    summary = summary & k & "=" & states(k) & " "
Next
WScript.Echo Trim(summary), states.Count
' expect: Kitchen=80 hall=5 2

Dim early, late
early = TimeSerial(7, 0, 0)
late = #19:30:00#
If late > early And DateDiff("h", early, late) = 12 Then WScript.Echo "evening"
' expect: evening
