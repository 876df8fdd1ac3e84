' unknown.vbs PROGID: calls a method the control does not have; the call must raise the script
' engine's "object doesn't support this property or method" (438), which the script can catch,
' not some other error of a call that reached a method.
' Wine's script host exits 0 when a script dies of an uncaught error, so success is 10, not 0:
' 10 the expected error, 4 another error, 3 no error; 1 arguments, 2 creation.
' Only ASCII goes to the output: Wine's script host corrupts its heap when it writes other text
' (its Korean error messages) to a redirected output.
Option Explicit
On Error Resume Next

Dim code, progId, checker
code = 1
progId = WScript.Arguments.Item(0)
If Err.Number = 0 Then
    code = 2
    Set checker = CreateObject(progId)
End If
If Err.Number <> 0 Then
    WScript.Echo "unknown.vbs: step " & code & ": error 0x" & Hex(Err.Number)
    WScript.Quit code
End If
code = 3
Call checker.NoSuchMethod()
If Err.Number = 438 Then
    code = 10
ElseIf Err.Number <> 0 Then
    WScript.Echo "unknown.vbs: raised 0x" & Hex(Err.Number)
    code = 4
End If
WScript.Quit code
