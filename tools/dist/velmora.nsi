; Velmora's installer, made by tools/dist.sh:
;   makensis -DVERSION=1.02 -DVERSION_RC=1.0.2.0 -DSTAGE=<dir> -DICON=<ico>
;            -DOUTFILE=<setup.exe> velmora.nsi
; STAGE holds win32\velmora.exe, win64\velmora.exe, velmora.html, readme.txt.
;
; For one user, without administrator rights: the program goes to
; %LOCALAPPDATA%\Programs\Velmora, the Start-menu entry and the entry in the
; list of installed programs to the user's own profile and registry hive.
; 64-bit Windows gets the 64-bit program, any other the 32-bit one.
;
; The uninstaller ends a running copy, removes the program and asks whether
; to remove the settings too (HKCU\Software\Dovrane\Velmora). Silent (/S) it
; keeps them, as an upgrade or a reinstall wants them; /S /REMOVESETTINGS
; removes them as well.
Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
!define SETTINGS_KEY "Software\Dovrane\Velmora"

Name "Velmora ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Velmora"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Velmora ${VERSION}"

VIProductVersion "${VERSION_RC}"
VIFileVersion "${VERSION_RC}"
VIAddVersionKey /LANG=1041 "ProductName" "Velmora"
VIAddVersionKey /LANG=1041 "CompanyName" "Dovrane"
VIAddVersionKey /LANG=1041 "FileDescription" "Velmora ${VERSION} セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "Copyright (C) Dovrane"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\readme.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

; A running copy is found by its main window (the settings window, shown or
; hidden) and asked to close, as its exit command does: it writes its
; settings and ends. One that has not ended after 10 s (a message box of its
; own open, say) is ended.
!macro EndRunningVelmora un
Function ${un}EndRunningVelmora
  FindWindow $0 "TForm1" "Velmoraの設定"
  ${If} $0 = 0
    Return
  ${EndIf}
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1)'
  ; SYNCHRONIZE | PROCESS_TERMINATE
  System::Call 'kernel32::OpenProcess(i 0x100001, i 0, i r1) p.r2'
  System::Call 'user32::PostMessageW(p r0, i 0x10, p 0, p 0)'
  ${If} $2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i 10000) i.r3'
    ${If} $3 <> 0
      System::Call 'kernel32::TerminateProcess(p r2, i 1)'
      System::Call 'kernel32::WaitForSingleObject(p r2, i 5000)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r2)'
  ${EndIf}
FunctionEnd
!macroend
!insertmacro EndRunningVelmora ""
!insertmacro EndRunningVelmora "un."

!macro ForThisUser
  SetShellVarContext current
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

Function .onInit
  !insertmacro ForThisUser
FunctionEnd

Function un.onInit
  !insertmacro ForThisUser
FunctionEnd

Section "Velmora"
  Call EndRunningVelmora
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "/oname=velmora.exe" "${STAGE}\win64\velmora.exe"
  ${Else}
    File "/oname=velmora.exe" "${STAGE}\win32\velmora.exe"
  ${EndIf}
  File "${STAGE}\velmora.html"
  File "${STAGE}\readme.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Velmora.lnk" "$INSTDIR\velmora.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Velmora"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Dovrane"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Call un.EndRunningVelmora
  Delete "$INSTDIR\velmora.exe"
  Delete "$INSTDIR\velmora.html"
  Delete "$INSTDIR\readme.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Velmora.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ; After the copy has ended: it writes its settings as it ends.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${If} ${Errors}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Velmora の設定（保存フォルダ、ファイル名の先頭文字、音）も削除しますか?$\n$\n保存した壁紙は削除されません。" \
      /SD IDNO IDYES remove
    Goto done
  ${EndIf}
  remove:
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Dovrane"
  done:
SectionEnd
