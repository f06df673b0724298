; The Corvell installer: installs for the current user only (no elevation) into
; %LOCALAPPDATA%\Programs\Corvell, adds a Start menu entry and an entry in "Apps".
; Built by scripts/package.sh:
;   makensis -DVERSION=24.08 -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> corvell.nsi
; Silent install: setup.exe /S [/D=folder]. Silent uninstall: Uninstall.exe /S, which
; keeps the settings, job files and logs.

; The program is 64-bit only, and so is its installer.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef STAGE
  !error "STAGE is not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "Corvell-${VERSION}-setup.exe"
!endif

!define PRODUCT "Corvell"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvell"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Corvell"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Free to use, to copy and to pass on unchanged."

!include "MUI2.nsh"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\CRVL.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Corvell"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "German"

; Ends a running tray program of this installation: its hidden window of class "CRVL"
; quits on WM_CLOSE after stopping its runs, and the files can then be replaced.
; Gives up after 30 s; the files in use then stay, and the installer says so.
!macro CloseTrayProgram
  StrCpy $1 0
  close_loop:
    FindWindow $0 "CRVL"
    StrCmp $0 0 close_done
    IntCmp $1 30 close_done
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    Sleep 1000
    IntOp $1 $1 + 1
    Goto close_loop
  close_done:
!macroend

Section "Corvell" SecMain
  SectionIn RO
  !insertmacro CloseTrayProgram
  SetOutPath "$INSTDIR"
  File "${STAGE}\CRVL.exe"
  File "${STAGE}\crvlc.exe"
  File "${STAGE}\CRVLRES.dll"
  File "${STAGE}\CRVL_US.HTM"
  File "${STAGE}\CRVL_DE.HTM"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\plugins"
  File "${STAGE}\plugins\sftp.wfx64"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Corvell"
  CreateShortcut "$SMPROGRAMS\Corvell\Corvell.lnk" "$INSTDIR\CRVL.exe" "" "$INSTDIR\CRVL.exe" 0
  CreateShortcut "$SMPROGRAMS\Corvell\Corvell help.lnk" "$INSTDIR\CRVL_US.HTM"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Corvell developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\CRVL.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  !insertmacro CloseTrayProgram
  Delete "$INSTDIR\CRVL.exe"
  Delete "$INSTDIR\crvlc.exe"
  Delete "$INSTDIR\CRVLRES.dll"
  Delete "$INSTDIR\CRVL_US.HTM"
  Delete "$INSTDIR\CRVL_DE.HTM"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\plugins\sftp.wfx64"
  RMDir "$INSTDIR\plugins"
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$SMPROGRAMS\Corvell\Corvell.lnk"
  Delete "$SMPROGRAMS\Corvell\Corvell help.lnk"
  RMDir "$SMPROGRAMS\Corvell"
  ; The start with the session points at the program that is going away.
  Delete "$SMSTARTUP\CRVL.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ; The settings, the job files and the logs are the user's: removed only when the user
  ; says so; a silent uninstall keeps them.
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
    "Remove the settings, job files and logs of Corvell as well?$\r$\n$\r$\n$INSTDIR\CRVL.INI$\r$\n$APPDATA\Halberic\CRVL.INI$\r$\n$APPDATA\Halberic\CRVL" \
    /SD IDNO IDNO keep
    Delete "$INSTDIR\CRVL.INI"
    Delete "$APPDATA\Halberic\CRVL.INI"
    RMDir /r "$APPDATA\Halberic\CRVL"
    RMDir "$APPDATA\Halberic"
  keep:
  ; Removed only when empty: whatever else lies there stays.
  RMDir "$INSTDIR"
SectionEnd
