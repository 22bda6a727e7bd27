; The per-user installer of the Windows programs. It needs no administrator: the programs go
; to the user's own Programs folder, and the Start menu entry and the "Open with" entry for
; .nds files are the user's (HKCU). The uninstaller takes every one of them away again.
;
; makensis -DVERSION=1.0.0 -DSTAGE=<folder of the zip> -DOUTFILE=<setup.exe> -DICON=<icon>
;          -DFILES=<the Delete and RMDir lines of the uninstaller>
Unicode true
Target amd64-unicode
!include "MUI2.nsh"

!define APP "Tavrel Stats Editor"
!define PROGID "TavrelStatsEditor.Image"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TavrelStatsEditor"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${APP}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Install"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\stats-editor.exe"

    ; "Open with" for .nds files: a program identifier of ours, offered for the extension
    ; without taking it over from the program that opens it now.
    WriteRegStr HKCU "Software\Classes\${PROGID}" "" "QVZT cartridge image"
    WriteRegStr HKCU "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\stats-editor.exe,0"
    WriteRegStr HKCU "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\stats-editor.exe" "%1"'
    WriteRegStr HKCU "Software\Classes\.nds\OpenWithProgids" "${PROGID}" ""

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\stats-editor.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ; Explorer reads the file associations again.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${APP}.lnk"
    DeleteRegKey HKCU "Software\Classes\${PROGID}"
    DeleteRegValue HKCU "Software\Classes\.nds\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty HKCU "Software\Classes\.nds\OpenWithProgids"
    DeleteRegKey /ifempty HKCU "Software\Classes\.nds"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ; Only the files the installer put there, so that a folder chosen by hand keeps the rest.
    !include "${FILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
