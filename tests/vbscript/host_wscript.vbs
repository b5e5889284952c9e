' args: first /out:report.txt /verbose second /Level:3
' stdin: line one
' stdin: line two
' stdin: rest
' The runner's WScript object as console scripts use it.
Dim named, unnamed, k, all, s
Set named = WScript.Arguments.Named
Set unnamed = WScript.Arguments.Unnamed
WScript.Echo WScript.Arguments.Count, named.Count, unnamed.Count, unnamed.Length
' expect: 5 3 2 2
WScript.Echo named.Exists("OUT"), named.Exists("verbose"), named.Exists("missing"), named("out"), named.Item("level")
' expect: True True False report.txt 3
WScript.Echo IsEmpty(named("verbose")), IsEmpty(named("missing")), unnamed(0), unnamed.Item(1)
' expect: True True first second
For Each k In named
    all = all & k & ";"
Next
For Each k In unnamed
    all = all & k & ";"
Next
WScript.Echo all
' expect: out;verbose;Level;first;second;

' A console host: scripts that relaunch themselves under cscript check FullName.
WScript.Echo LCase(Right(WScript.FullName, 11)) = "cscript.exe", WScript.Path & "/cscript.exe" = WScript.FullName
' expect: True True
WScript.Echo WScript.Version, TypeName(WScript.Version), WScript.Interactive
' expect: 5.8 String True
WScript.Interactive = False
WScript.Echo WScript.Interactive
' expect: False
Set s = WScript.CreateObject("Scripting.Dictionary")
s.Add "k", "v"
WScript.Echo TypeName(s), s("k")
' expect: Dictionary v

' Standard input, line by line and the rest at once.
WScript.Echo WScript.StdIn.AtEndOfStream, WScript.StdIn.ReadLine
WScript.Echo "[" & WScript.StdIn.ReadLine & "]"
WScript.Echo Replace(WScript.StdIn.ReadAll, vbLf, "|"), WScript.StdIn.AtEndOfStream
' expect: False line one
' expect: [line two]
' expect: rest| True
On Error Resume Next
s = WScript.StdIn.ReadLine
WScript.Echo "read past the end", Err.Number
Err.Clear
WScript.StdIn.Write "x"
WScript.Echo "write to StdIn", Err.Number
Err.Clear
s = WScript.StdOut.ReadLine
WScript.Echo "read from StdOut", Err.Number
' expect: read past the end 62
' expect: write to StdIn 54
' expect: read from StdOut 54
Err.Clear
WScript.StdErr.WriteLine "to standard error"
' expect stderr: to standard error
Set s = WScript.GetObject("winmgmts:")
WScript.Echo "GetObject", Err.Number
' expect: GetObject 429
