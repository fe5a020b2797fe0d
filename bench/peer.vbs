' The gate as a vendor might write it as a script: read the main board's
' Version through WMI and start WinPhlash.exe when it begins with "41".
' Exit status as flashgate.exe's: 0 started, 1 administrator notice,
' 2 wrong-model notice, 3 admitted but not started.
Option Explicit
On Error Resume Next

Dim services, boards, board, version, prefix, haveVersion, status
haveVersion = False
Set services = GetObject("winmgmts:\\.\root\cimv2")
Set boards = services.ExecQuery("Select * from WIN32_BaseBoard", , 48)
For Each board In boards
    Err.Clear
    version = board.Version
    If Err.Number = 0 Then
        haveVersion = True
        If IsNull(version) Then prefix = Null Else prefix = Left(version, 2)
    End If
    Err.Clear
Next

If Not haveVersion Then
    MsgBox "You must be logged in with administrator privilege in order to update the system BIOS.  The system BIOS will not be updated.", 48, "Dorvanel"
    status = 1
ElseIf IsNull(prefix) Then
    MsgBox "This BIOS is not for your Notebook PC.", 48, "WinPhlash"
    status = 2
ElseIf Len(prefix) = 0 Then
    MsgBox "You must be logged in with administrator privilege in order to update the system BIOS.  The system BIOS will not be updated.", 48, "Dorvanel"
    status = 1
ElseIf prefix <> "41" Then
    MsgBox "This BIOS is not for your Notebook PC.", 48, "WinPhlash"
    status = 2
Else
    Err.Clear
    CreateObject("WScript.Shell").Run "WinPhlash.exe", 1, False
    If Err.Number = 0 Then status = 0 Else status = 3
End If
WScript.Quit status
