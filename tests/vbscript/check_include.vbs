' check
' The runner's --check compiles without running: nothing is printed on standard
' output, each file's syntax error is reported with the file it is in.
#include "includes/common.txt"
#include "includes/broken.txt"
WScript.Echo "never runs"
' expect error: 1006 line 2
' expect stderr: broken.txt(2, 18) Expected ')' (error 1006)
