' launch.vbs PROGID [URL]: creates the control by PROGID and launches the world file at URL (the
' empty URL when it is left out).
' Wine's script host exits 0 when a script dies of an uncaught error, so success is 10, not 0,
' and every failure leaves with its own code: 1 arguments, 2 creation, 3 Launch raised an error.
' Only ASCII goes to the output: Wine's script host corrupts its heap when it writes other text
' (its Korean error messages) to a redirected output.
Option Explicit
On Error Resume Next

Dim code, progId, url, checker
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
    checker.Launch url
End If
If Err.Number = 0 Then
    code = 10
Else
    WScript.Echo "launch.vbs: step " & code & ": error 0x" & Hex(Err.Number)
End If
WScript.Quit code
