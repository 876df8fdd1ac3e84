' check.vbs PROGID [URL]: creates the control by PROGID and calls Check with URL (the empty URL
' when it is left out); the exit code tells what came back.
' Wine's script host exits 0 when a script dies of an uncaught error, so no answer is 0:
' 10 the Long 0, 11 the Long 1, 4 not a Long, 5 another Long;
' 1 arguments, 2 creation, 3 Check raised an error.
' Only ASCII goes to the output: Wine's script host corrupts its heap when it writes other text
' (its Korean error messages) to a redirected output.
Option Explicit
On Error Resume Next

Dim code, progId, url, checker, result
code = 1
progId = WScript.Arguments.Item(0)
url = ""
If WScript.Arguments.Count > 1 Then url = WScript.Arguments.Item(1)
If Err.Number = 0 Then
    code = 2
    Set checker = CreateObject(progId)
End If
If Err.Number = 0 Then
    code = 3
    result = checker.Check(url)
End If
If Err.Number <> 0 Then
    WScript.Echo "check.vbs: step " & code & ": error 0x" & Hex(Err.Number)
    WScript.Quit code
End If
If VarType(result) <> vbLong Then
    code = 4
ElseIf result = 0 Then
    code = 10
ElseIf result = 1 Then
    code = 11
Else
    code = 5
End If
If code <> 10 And code <> 11 Then WScript.Echo "check.vbs: Check gave VarType " & VarType(result) & " " & result
WScript.Quit code
