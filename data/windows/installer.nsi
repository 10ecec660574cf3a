; Setup for the Windows edition: a per-machine install for every user of the PC.
;
; Built by the CMake target "installer", which defines:
;   VERSION  the program's version (major.minor.patch)
;   PROGRAM  the path of corvane-tesk.exe
;   DISPATCHER  the path of corvane-tesk-dispatcher.exe
;   LICENCE  the path of the licence text
;   OUTFILE  the path of the setup program to write
;
; Command line (besides NSIS's own /S and /D=FOLDER):
;   /FAXSERVER=ADDRESS  adds an inbound Windows Firewall rule that lets only
;                       ADDRESS (an address, range, subnet or keyword that
;                       netsh accepts) reach the program on TCP port 5555.
;   /MULTIUSER          for a PC where several people are signed in at once
;                       (a Remote Desktop session host): also installs the
;                       dispatcher service, which owns port 5555 and hands
;                       each user's requests to that user's program. Offered
;                       when the setup runs on a session host; an upgrade
;                       keeps it.
;
; Exit codes: 0 installed; 1 cancelled by the user; 2 bad command line,
; nothing installed; 3 installed, but the firewall rule could not be added.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!ifndef VERSION | PROGRAM | DISPATCHER | LICENCE | OUTFILE
  !error "VERSION, PROGRAM, LICENCE and OUTFILE must be defined (see the CMake target installer)"
!endif

!define APP_NAME "Corvane Tesk"
!define APP_EXE "corvane-tesk.exe"
!define PUBLISHER "The Corvane Tesk developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\CorvaneTesk"
!define FIREWALL_RULE "Corvane Tesk (fax server)"
!define PORT 5555
!define DISPATCHER_EXE "corvane-tesk-dispatcher.exe"
!define SERVICE "CorvaneTeskDispatcher"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

Name "${APP_NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP_NAME}"
; An upgrade goes where the last install went, unless /D says otherwise.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP_NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP_NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${APP_NAME} setup"
VIAddVersionKey "LegalCopyright" "MIT licence"

Var FaxServer        ; the address the firewall rule admits; empty: no rule
Var FaxServerField   ; the page's text box
Var MultiUser        ; 1: the dispatcher service is installed too

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
!insertmacro MUI_PAGE_DIRECTORY
Page custom FirewallPage FirewallPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Leaves "1" on the stack when the address on the stack is one that can go
; onto netsh's command line as a single remoteip= argument: letters, digits
; and . : / - , only (addresses, ranges, subnets, lists and netsh's keywords
; such as LocalSubnet). netsh itself judges whether it makes sense.
Function IsFirewallAddress
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  StrCpy $1 0
  ${If} $0 != ""
    StrCpy $1 1
    StrCpy $2 0
    ${Do}
      StrCpy $3 $0 1 $2
      ${IfThen} $3 == "" ${|} ${ExitDo} ${|}
      ; Is it one of these? (== ignores case, so a-z stands for A-Z too.)
      StrCpy $4 0
      ${Do}
        StrCpy $5 "0123456789abcdefghijklmnopqrstuvwxyz.:/-," 1 $4
        ${IfThen} $5 == "" ${|} ${ExitDo} ${|}
        ${IfThen} $5 == $3 ${|} ${ExitDo} ${|}
        IntOp $4 $4 + 1
      ${Loop}
      ${If} $5 == ""
        StrCpy $1 0
        ${ExitDo}
      ${EndIf}
      IntOp $2 $2 + 1
    ${Loop}
  ${EndIf}
  StrCpy $0 $1
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Reads /FAXSERVER=VALUE or /FAXSERVER="VALUE" from the command line into
; $FaxServer and sets the error flag when it is not there. (FileFunc's
; GetOptions ends a value at the next "/", which would cut a subnet such as
; 192.0.2.0/24 short.)
Function ReadFaxServerOption
  Push $0
  Push $1
  Push $2
  Push $3
  ${GetParameters} $0
  StrCpy $FaxServer ""
  StrCpy $1 0
  ${Do}
    StrCpy $2 $0 11 $1
    ${If} $2 == ""
      SetErrors
      ${ExitDo}
    ${EndIf}
    ${If} $2 == "/FAXSERVER="
      ; At the start or after a blank only: not inside another option's value.
      IntOp $3 $1 - 1
      StrCpy $3 $0 1 $3
      ${If} $1 == 0
      ${OrIf} $3 == " "
        IntOp $1 $1 + 11
        StrCpy $2 $0 1 $1
        ${If} $2 == '"'
          IntOp $1 $1 + 1
          StrCpy $3 '"'
        ${Else}
          StrCpy $3 " "
        ${EndIf}
        ${Do}
          StrCpy $2 $0 1 $1
          ${IfThen} $2 == "" ${|} ${ExitDo} ${|}
          ${IfThen} $2 == $3 ${|} ${ExitDo} ${|}
          StrCpy $FaxServer "$FaxServer$2"
          IntOp $1 $1 + 1
        ${Loop}
        ClearErrors
        ${ExitDo}
      ${EndIf}
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function .onInit
  SetShellVarContext all
  SetRegView 64
  Call ReadFaxServerOption
  ${IfNot} ${Errors}
    Push $FaxServer
    Call IsFirewallAddress
    Pop $1
    ${If} $1 != 1
      MessageBox MB_ICONSTOP|MB_OK "/FAXSERVER= needs the fax server's address: letters, digits and . : / - , only." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
  ; The dispatcher service: asked for, kept from the last install, or offered
  ; on a Remote Desktop session host.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/MULTIUSER" $1
  ${IfNot} ${Errors}
    StrCpy $MultiUser 1
  ${Else}
    ReadRegDWORD $MultiUser HKLM "${UNINSTALL_KEY}" "MultiUser"
    ReadRegDWORD $1 HKLM "SYSTEM\CurrentControlSet\Control\Terminal Server" "TSAppCompat"
    ${If} $MultiUser != 1
    ${AndIf} $1 == 1
      MessageBox MB_ICONQUESTION|MB_YESNO "This PC is a Remote Desktop session host. Install the ${APP_NAME} dispatcher service, so that each signed-in user gets the faxes meant for them?" /SD IDNO IDNO +2
      StrCpy $MultiUser 1
    ${EndIf}
  ${EndIf}
  ClearErrors
FunctionEnd

Function FirewallPage
  !insertmacro MUI_HEADER_TEXT "Windows Firewall" "Let the fax server reach ${APP_NAME}"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 48u "The fax server asks ${APP_NAME} where a fax is to go over TCP port ${PORT}. Give the fax server's address to add a Windows Firewall rule that lets only that address in (for example 192.0.2.10, 192.0.2.0/24 or 192.0.2.10-192.0.2.20). Leave it empty to add no rule."
  Pop $0
  ${NSD_CreateLabel} 0 56u 100% 10u "Fax server's address:"
  Pop $0
  ${NSD_CreateText} 0 68u 100% 12u "$FaxServer"
  Pop $FaxServerField
  nsDialogs::Show
FunctionEnd

Function FirewallPageLeave
  ${NSD_GetText} $FaxServerField $FaxServer
  ${If} $FaxServer != ""
    Push $FaxServer
    Call IsFirewallAddress
    Pop $0
    ${If} $0 != 1
      MessageBox MB_ICONEXCLAMATION|MB_OK "Give the fax server's address with letters, digits and . : / - , only, or leave it empty."
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd

; Ends every running copy of the program, so that its file can be replaced
; or removed: first asked to close (taskkill without /F sends WM_CLOSE to its
; windows), then, if it has not gone after five seconds or cannot be asked
; (a copy in another user's session), ended outright.
!macro StopProgram un
; A running program holds its file: once the file can be deleted, the
; program has gone. Gives up after five seconds.
Function ${un}WaitForProgramToEnd
  Push $0
  StrCpy $0 0
  ${Do}
    ClearErrors
    Delete "$INSTDIR\${APP_EXE}"
    ${IfNot} ${Errors}
    ${AndIfNot} ${FileExists} "$INSTDIR\${APP_EXE}"
      ${ExitDo}
    ${EndIf}
    ${IfThen} $0 >= 50 ${|} ${ExitDo} ${|}
    Sleep 100
    IntOp $0 $0 + 1
  ${Loop}
  Pop $0
FunctionEnd

Function ${un}StopProgram
  Push $0
  nsExec::Exec '"$SYSDIR\taskkill.exe" /IM ${APP_EXE}'
  Pop $0
  ${If} $0 == 0
    DetailPrint "Asked ${APP_NAME} to close"
    Call ${un}WaitForProgramToEnd
  ${EndIf}
  nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM ${APP_EXE}'
  Pop $0
  ${If} $0 == 0
    DetailPrint "Ended ${APP_NAME}"
    Call ${un}WaitForProgramToEnd
  ${EndIf}
  Pop $0
FunctionEnd
!macroend
!insertmacro StopProgram ""
!insertmacro StopProgram "un."

!macro DeleteFirewallRule
  ; netsh exits non-zero when there is no such rule; that is fine here.
  nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FIREWALL_RULE}"'
  Pop $0
!macroend

!macro RemoveService
  DetailPrint "Removing the dispatcher service, if installed"
  nsExec::Exec '"$SYSDIR\sc.exe" stop ${SERVICE}'
  Pop $0
  nsExec::Exec '"$SYSDIR\sc.exe" delete ${SERVICE}'
  Pop $0
!macroend

Section "Install"
  SetShellVarContext all
  SetRegView 64

  ; Installed elsewhere before: remove that copy first with its own
  ; uninstaller, which waits here (_?=) and takes its firewall rule along.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
  ${AndIf} ${FileExists} "$0\uninstall.exe"
    DetailPrint "Removing the copy in $0"
    ExecWait '"$0\uninstall.exe" /S _?=$0' $1
    Delete "$0\uninstall.exe"
    RMDir "$0"
  ${EndIf}

  Call StopProgram
  !insertmacro RemoveService

  SetOutPath "$INSTDIR"
  File "/oname=${APP_EXE}" "${PROGRAM}"
  File "/oname=licence.txt" "${LICENCE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} $MultiUser == 1
    File "/oname=${DISPATCHER_EXE}" "${DISPATCHER}"
    DetailPrint "Installing the dispatcher service"
    nsExec::ExecToLog '"$SYSDIR\sc.exe" create ${SERVICE} binPath= "$INSTDIR\${DISPATCHER_EXE}" start= auto DisplayName= "${APP_NAME} dispatcher"'
    Pop $0
    nsExec::ExecToLog '"$SYSDIR\sc.exe" start ${SERVICE}'
    Pop $0
  ${EndIf}

  ; For every user: the Start menu, and the Startup folder, which starts the
  ; program at each user's logon.
  CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\${APP_EXE}" "" "$INSTDIR\${APP_EXE}" 0 SW_SHOWNORMAL "" "Tells a fax server where a fax is to go"
  CreateShortcut "$SMSTARTUP\${APP_NAME}.lnk" "$INSTDIR\${APP_EXE}" "" "$INSTDIR\${APP_EXE}" 0 SW_SHOWNORMAL "" "Tells a fax server where a fax is to go"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${APP_EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} $MultiUser == 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "MultiUser" 1
  ${EndIf}
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; The rule is replaced only when an address is given: an upgrade without
  ; one keeps the rule an earlier install added.
  ${If} $FaxServer != ""
    !insertmacro DeleteFirewallRule
    DetailPrint "Adding the Windows Firewall rule for $FaxServer"
    ; On a session host the dispatcher owns the port, not the program.
    StrCpy $1 "$INSTDIR\${APP_EXE}"
    ${IfThen} $MultiUser == 1 ${|} StrCpy $1 "$INSTDIR\${DISPATCHER_EXE}" ${|}
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FIREWALL_RULE}" dir=in action=allow program="$1" protocol=TCP localport=${PORT} remoteip=$FaxServer enable=yes'
    Pop $0
    ${If} $0 != 0
      MessageBox MB_ICONEXCLAMATION|MB_OK "${APP_NAME} is installed, but the Windows Firewall rule for $FaxServer could not be added (netsh: $0)." /SD IDOK
      SetErrorLevel 3
    ${EndIf}
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section "Uninstall"
  Call un.StopProgram
  !insertmacro RemoveService
  Delete "$SMSTARTUP\${APP_NAME}.lnk"
  Delete "$SMPROGRAMS\${APP_NAME}.lnk"
  !insertmacro DeleteFirewallRule
  Delete "$INSTDIR\${APP_EXE}"
  Delete "$INSTDIR\${DISPATCHER_EXE}"
  Delete "$INSTDIR\licence.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
