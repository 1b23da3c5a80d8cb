; The Heftmark installer: a per-user install that needs no administrator,
; with Start menu shortcuts, an optional start at sign-in and an uninstaller.
;
; scripts/release passes VERSION (2.6.0.0), SHORTVERSION (2.6), STAGE32 and
; STAGE64 (the staged files of each build), ICON and OUTFILE.

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user
CRCCheck on

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include MUI2.nsh

!define PRODUCT "Heftmark"
!define PUBLISHER "Tallowgate Software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MENU_DIR "$SMPROGRAMS\${PRODUCT}"
!define SYNCHRONIZE 0x00100000
!define WAIT_OBJECT_0 0
!define CREATE_NO_WINDOW 0x08000000
; How long a running Heftmark gets to end after the quit message.
!define END_TIMEOUT_MS 10000

Name "${PRODUCT} ${SHORTVERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${SHORTVERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\Heftmark.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"

!insertmacro MUI_PAGE_LICENSE "${STAGE32}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Freeware by ${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} ${SHORTVERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"

; Set when the installer ended a running Heftmark, so that it starts the new
; one afterwards.
Var WasRunning

; Ends a running Heftmark the way its own Exit command does: the quit
; message to its GUI thread, then a bounded wait for the process. It is never
; killed; one that does not end leaves $0 at "running". Only one Heftmark
; can run in a session, so the one found is the one in the way.
!macro DEFINE_END_HEFTMARK un
Function ${un}EndHeftmark
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $0 "none"
  FindWindow $1 "TApplication" "${PRODUCT}"
  ${If} $1 <> 0
    System::Call "user32::GetWindowThreadProcessId(p r1, *i .r2) i .r3"
    ; Opened before the quit message, so that the id cannot be reused meanwhile.
    System::Call "kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r2) p .r4"
    System::Call "user32::PostThreadMessage(i r3, i ${WM_QUIT}, p 0, p 0)"
    StrCpy $0 "running"
    ${If} $4 <> 0
      System::Call "kernel32::WaitForSingleObject(p r4, i ${END_TIMEOUT_MS}) i .r2"
      System::Call "kernel32::CloseHandle(p r4)"
      ${If} $2 = ${WAIT_OBJECT_0}
        StrCpy $0 "ended"
      ${EndIf}
    ${Else}
      ; No handle: watch its window go instead.
      StrCpy $2 0
      ${Do}
        System::Call "user32::IsWindow(p r1) i .r3"
        ${If} $3 = 0
          StrCpy $0 "ended"
          ${Break}
        ${EndIf}
        ${If} $2 >= ${END_TIMEOUT_MS}
          ${Break}
        ${EndIf}
        Sleep 100
        IntOp $2 $2 + 100
      ${Loop}
    ${EndIf}
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd
!macroend
!insertmacro DEFINE_END_HEFTMARK ""
!insertmacro DEFINE_END_HEFTMARK "un."

Section "-${PRODUCT}" SecMain
  Call EndHeftmark
  ${If} $0 == "running"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is still running and did not end. Exit it from its tray menu, then run Setup again." /SD IDOK
    Abort
  ${EndIf}
  ${If} $0 == "ended"
    StrCpy $WasRunning 1
  ${EndIf}

  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "/oname=Heftmark.exe" "${STAGE64}\Heftmark.exe"
  ${Else}
    File "/oname=Heftmark.exe" "${STAGE32}\Heftmark.exe"
  ${EndIf}
  File "${STAGE32}\readme.doc"
  File "${STAGE32}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU_DIR}"
  CreateShortCut "${MENU_DIR}\${PRODUCT}.lnk" "$INSTDIR\Heftmark.exe"
  CreateShortCut "${MENU_DIR}\${PRODUCT} manual.lnk" "$INSTDIR\readme.doc"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Heftmark.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; With _?= the uninstaller runs where it is, instead of from a copy in the
  ; temporary folder that would stay behind (see un.onUninstSuccess).
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start ${PRODUCT} when I sign in" SecRun
  WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Heftmark.exe"'
SectionEnd

Section "-Finish"
  ; Installing over an installation that started at sign-in, without that
  ; option this time.
  ${IfNot} ${SectionIsSelected} ${SecRun}
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}
  ; The finish page offers to start it; a silent install over a running
  ; Heftmark puts the new one back in its place.
  ${If} ${Silent}
  ${AndIf} $WasRunning == 1
    Exec '"$INSTDIR\Heftmark.exe"'
  ${EndIf}
SectionEnd

Section "Uninstall"
  Call un.EndHeftmark
  ${If} $0 == "running"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} is still running and did not end. Exit it from its tray menu, then uninstall again." /SD IDOK
    Abort
  ${EndIf}

  ; Only what the installer put there: the folder itself goes only if the
  ; user has left nothing else in it.
  Delete "${MENU_DIR}\${PRODUCT}.lnk"
  Delete "${MENU_DIR}\${PRODUCT} manual.lnk"
  RMDir "${MENU_DIR}"
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The per-user list itself, when ours was its only entry: a new profile
  ; has none until the first per-user install makes it.
  DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"
  Delete "$INSTDIR\Heftmark.exe"
  Delete "$INSTDIR\readme.doc"
  Delete "$INSTDIR\LICENSE.txt"
  ; These fail while this uninstaller runs from there; un.onUninstSuccess
  ; finishes the job.
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The per-user programs folder, if this install made it and nothing else
  ; uses it.
  RMDir "$LOCALAPPDATA\Programs"
SectionEnd

; A running program cannot delete its own file, so a hidden command shell
; that outlives the uninstaller removes it (and the folders it leaves) after
; a pause. Run from the temporary copy, $EXEDIR is that copy's folder;
; run in place, it is $INSTDIR. A folder that holds anything else stays.
; CREATE_NO_WINDOW: no console window, and none made for ping either.
Function un.onUninstSuccess
  Push $1
  Push $2
  Push $3
  Push $4
  System::Alloc 68  ; STARTUPINFOW
  Pop $1
  System::Call "*$1(i 68)"
  System::Alloc 16  ; PROCESS_INFORMATION
  Pop $2
  System::Call 'kernel32::CreateProcessW(p 0, w `"$SYSDIR\cmd.exe" /d /c ping -n 3 127.0.0.1 >nul & del /f /q "$EXEPATH" "$INSTDIR\uninstall.exe" 2>nul & rd "$EXEDIR" 2>nul & rd "$INSTDIR" 2>nul & rd "$LOCALAPPDATA\Programs" 2>nul`, p 0, p 0, i 0, i ${CREATE_NO_WINDOW}, p 0, w "$TEMP", p r1, p r2) i .r3'
  ${If} $3 <> 0
    System::Call "*$2(p .r3, p .r4)"
    System::Call "kernel32::CloseHandle(p r3)"
    System::Call "kernel32::CloseHandle(p r4)"
  ${EndIf}
  System::Free $1
  System::Free $2
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd
