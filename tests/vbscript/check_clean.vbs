' check
' --check on a script that compiles: no output, exit 0. A missing include is
' reported, as the gateway would skip it.
#include "includes/nested.txt"
#include "includes/missing.txt"
Function F(a) : F = a : End Function
WScript.Echo "never runs"
' expect stderr: includes/missing.txt not found, left out
