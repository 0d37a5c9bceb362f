; Tolvane's installer: a 64-bit NSIS setup program (Modern UI) that installs tolvane.exe and the
; console export tolvane-cli.exe for all users into Program Files\Tolvane, adds the Start-menu shortcut "Tolvane" (and, when chosen, one on
; the desktop), and registers the uninstaller under Uninstall\Tolvane so the program shows in
; "Apps" with its version and publisher.
;
; Built by scripts/package.sh, which passes the version and the paths:
;   makensis -DVERSION=1.1.0 -DEXE=path\tolvane.exe -DCLI=path\tolvane-cli.exe -DLICENSE=path\LICENSE
;            -DOUTFILE=path\setup.exe
; (CLI may be left out to build a stand-in of a version that had no console program.)
;
; An install over an older version replaces the files in place. The uninstaller removes the program
; files, the shortcuts and the registry entries; the user's settings (%APPDATA%\Tolvane) stay.
; /S runs either of them silently.
;
; Neither touches a file while Tolvane runs (its single-instance mutex or its window exists): the
; interactive ones ask the user to close it (Retry / Cancel); the silent ones close its windows
; with WM_CLOSE, wait up to 10 s, and otherwise quit with exit code 2 before changing anything. A
; file that still cannot be written stops the install instead of being skipped, so no install ends
; with an older exe under the newer version's Apps entry.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION
  !error "VERSION is not defined"
!endif

!define PRODUCT "Tolvane"
!define PUBLISHER "The Tolvane developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

AllowSkipFiles off

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\tolvane.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Tolvane"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; $R0 := 1 while Tolvane runs, else 0.
!macro TOLVANE_RUNNING_FUNCTIONS UN
Function ${UN}TolvaneRunning
  StrCpy $R0 0
  FindWindow $R1 "TolvaneDesktopApp"
  ${If} $R1 P<> 0
    StrCpy $R0 1
  ${EndIf}
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Tolvane.SingleInstance.Mutex") p.R1'
  ${If} $R1 P<> 0
    System::Call 'kernel32::CloseHandle(p R1)'
    StrCpy $R0 1
  ${EndIf}
FunctionEnd

Function ${UN}CloseTolvane
  Call ${UN}TolvaneRunning
  ${IfNot} ${Silent}
    ${DoWhile} $R0 = 1
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Tolvane is running. Close it, then press Retry to go on." IDRETRY +3
      SetErrorLevel 1
      Quit
      Call ${UN}TolvaneRunning
    ${Loop}
    Return
  ${EndIf}
  StrCpy $R2 0  ; ms waited
  StrCpy $R3 0  ; the window last asked to close
  ${DoWhile} $R0 = 1
    ${If} $R2 >= 10000
      SetErrorLevel 2
      Quit
    ${EndIf}
    FindWindow $R1 "TolvaneDesktopApp"
    ${If} $R1 P<> 0
    ${AndIf} $R1 P<> $R3
      System::Call 'user32::PostMessageW(p R1, i ${WM_CLOSE}, p 0, p 0)'
      StrCpy $R3 $R1
    ${EndIf}
    Sleep 200
    IntOp $R2 $R2 + 200
    Call ${UN}TolvaneRunning
  ${Loop}
FunctionEnd
!macroend
!insertmacro TOLVANE_RUNNING_FUNCTIONS ""
!insertmacro TOLVANE_RUNNING_FUNCTIONS "un."

Function .onInit
  SetRegView 64
  SetShellVarContext all
  Call CloseTolvane
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  Call un.CloseTolvane
FunctionEnd

Section "Tolvane (required)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "/oname=tolvane.exe" "${EXE}"
!ifdef CLI
  File "/oname=tolvane-cli.exe" "${CLI}"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tolvane.exe" "" "$INSTDIR\tolvane.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tolvane.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; Apps shows this in KiB: the installed program and its uninstaller.
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Desktop shortcut" SecDesktop
  CreateShortcut "$DESKTOP\${PRODUCT}.lnk" "$INSTDIR\tolvane.exe" "" "$INSTDIR\tolvane.exe" 0
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The Tolvane program, its console export and the Start-menu shortcut."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDesktop} "A shortcut to Tolvane on the desktop."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "Uninstall"
  ; The program goes first: if it cannot, nothing else is removed (and the Apps entry stays with it).
  Delete "$INSTDIR\tolvane.exe"
  ${If} ${FileExists} "$INSTDIR\tolvane.exe"
    SetErrorLevel 2
    Abort "Could not remove $INSTDIR\tolvane.exe."
  ${EndIf}
  Delete "$INSTDIR\tolvane-cli.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$DESKTOP\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
