; The Windows installer of imagebench (NSIS 3, 64-bit Unicode).
;   makensis -DVERSION=1.0 -DVERSION4=1.0.0.0 -DPUBLISHER=<name>
;            -DSTAGE=<folder with imagebench.exe and its DLLs>
;            -DFILES=<install list> -DUNFILES=<uninstall list> -DOUTFILE=<setup.exe> imagebench.nsi
; Per-user or all-users (asked on a page; /CurrentUser or /AllUsers on the
; command line; /S installs silently), a Start-menu entry with the program's
; icon, an Apps entry with publisher, version, size and icon, and an
; uninstaller that removes every file it installed.
; Neither replaces nor removes the files of a running imagebench: both ask
; the user to close it (Retry) or to stop (Cancel); run silently, they stop
; with exit code 2 and change nothing. The uninstaller keeps its Apps entry
; until every file is gone, so a failed removal can always be tried again.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define APP imagebench
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
; The setup program's own version information.
VIProductVersion ${VERSION4}
VIFileVersion ${VERSION4}
VIAddVersionKey /LANG=1033 ProductName "${APP}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=1033 FileDescription "${APP} ${VERSION} setup"
VIAddVersionKey /LANG=1033 LegalCopyright "${PUBLISHER}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR ${APP}
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh

!define MUI_ICON "${STAGE}/${APP}.ico"
!define MUI_UNICON "${STAGE}/${APP}.ico"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

; Started without /AllUsers or /CurrentUser (Uninstall.exe opened by hand),
; the uninstaller goes by whose registry names its folder.
Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    Call un.MultiUser.InstallMode.CurrentUser
  ${EndIf}
FunctionEnd

; Waits until no imagebench runs from $INSTDIR: a running program's exe cannot
; be opened for writing. Asks the user to close it and retry, or to cancel;
; run silently, it cancels at once. Returns in $R0 "" when free, else "running".
!macro WAIT_FOR_CLOSED un
Function ${un}WaitForClosed
  StrCpy $R0 ""
  retry:
  IfFileExists "$INSTDIR\${APP}.exe" 0 free
  ClearErrors
  FileOpen $R1 "$INSTDIR\${APP}.exe" a
  IfErrors running
  FileClose $R1
  free:
  StrCpy $R0 ""
  Return
  running:
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${APP} is running from $INSTDIR.$\r$\n$\r$\nClose it, then choose Retry. Cancel stops here and changes nothing." /SD IDCANCEL IDRETRY retry
  StrCpy $R0 "running"
FunctionEnd
!macroend
!insertmacro WAIT_FOR_CLOSED ""
!insertmacro WAIT_FOR_CLOSED "un."

Section "imagebench"
  SetOutPath "$INSTDIR"
  Call WaitForClosed
  ${If} $R0 != ""
    SetErrorLevel 2
    Abort "${APP} is running from $INSTDIR: nothing was installed."
  ${EndIf}
  !include "${FILES}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${APP}.exe" "" "$INSTDIR\${APP}.exe" 0
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  ; The size Apps shows, in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${APP}.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Call un.WaitForClosed
  ${If} $R0 != ""
    SetErrorLevel 2
    Abort "${APP} is running from $INSTDIR: nothing was removed."
  ${EndIf}
  ; Delete and RMDir set the error flag for a file or folder of ours that
  ; stays (one started again meanwhile): then the Apps entry and the
  ; Start-menu entry stay too, and the uninstaller fails.
  ClearErrors
  !include "${UNFILES}"
  ${If} ${Errors}
    SetErrorLevel 2
    MessageBox MB_OK|MB_ICONSTOP "Some files in $INSTDIR could not be removed: close ${APP} and uninstall it again." /SD IDOK
    Abort "Some files in $INSTDIR could not be removed."
  ${EndIf}
  Delete "$SMPROGRAMS\${APP}.lnk"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
