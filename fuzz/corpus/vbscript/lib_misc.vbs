' The vb... constants, CreateObject, the host's message boxes and the engine's name.
WScript.Echo Len(vbCrLf), Asc(vbCr), Asc(vbLf), vbNewLine = vbCrLf, Asc(vbTab), Len(vbNullString), Asc(vbNullChar), Len(vbNullChar)
' expect: 2 13 10 True 9 0 0 1
WScript.Echo vbBinaryCompare, vbTextCompare, vbUseSystemDayOfWeek, vbSunday, vbMonday, vbSaturday, vbFirstJan1, vbFirstFourDays, vbFirstFullWeek
' expect: 0 1 0 1 2 7 1 2 3
WScript.Echo vbGeneralDate, vbLongDate, vbShortDate, vbLongTime, vbShortTime
' expect: 0 1 2 3 4
WScript.Echo vbOKOnly, vbOKCancel, vbAbortRetryIgnore, vbYesNoCancel, vbYesNo, vbRetryCancel, vbCritical, vbQuestion, vbExclamation, vbInformation, vbDefaultButton2, vbSystemModal
' expect: 0 1 2 3 4 5 16 32 48 64 256 4096
WScript.Echo vbOK, vbCancel, vbAbort, vbRetry, vbIgnore, vbYes, vbNo
' expect: 1 2 3 4 5 6 7
WScript.Echo vbEmpty, vbNull, vbInteger, vbLong, vbSingle, vbDouble, vbCurrency, vbDate, vbString, vbObject, vbError, vbBoolean, vbVariant, vbByte, vbArray
' expect: 0 1 2 3 4 5 6 7 8 9 10 11 12 17 8192
WScript.Echo vbObjectError, vbObjectError + 1 < 0, vbTrue, vbFalse, vbUseDefault, vbRed, vbGreen, vbBlue, vbWhite, vbBlack, vbYellow, vbCyan, vbMagenta
' expect: -2147221504 True -1 0 -2 255 65280 16711680 16777215 0 65535 16776960 16711935
WScript.Echo VarType(CreateObject("Scripting.Dictionary")), TypeName(CreateObject("vbscript.regexp")), ScriptEngine, ScriptEngineMajorVersion >= 5, GetLocale, SetLocale(1031)
' expect: 9 IRegExp2 VBScript True 1033 1033
WScript.Echo ScriptEngineMinorVersion >= 0, ScriptEngineBuildVersion > 0
' expect: True True
Dim answer
answer = MsgBox("Lights on?", vbYesNo + vbQuestion, "Tarvelo")
' expect: Lights on?
WScript.Echo answer
' expect: 1
answer = InputBox("Level?", "Tarvelo", "50")
' expect: Level?
WScript.Echo answer
' expect: 50
MsgBox "plain call"
' expect: plain call

On Error Resume Next
Dim o
Set o = CreateObject("No.Such.Thing")
WScript.Echo "unknown class", Err.Number, Err.Description, IsEmpty(o)
Err.Clear
Set o = New NoSuchClass
WScript.Echo "New unknown", Err.Number = 0
' expect: unknown class 429 ActiveX component can't create object True
' expect: New unknown False
