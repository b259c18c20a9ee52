; Quillon's installer for Windows x64: per machine into Program Files, a Start-menu shortcut, an entry in
; Add/Remove Programs, and an uninstaller that removes exactly the files it installed. The per-user workspace
; (%LOCALAPPDATA%\Quillon) is never touched. Silent: Setup.exe /S [/D=DIR], Uninstall.exe /S.
;
; scripts/windows.sh makes it and passes what is generated:
;   /DVERSION=2.002 /DVERSION_QUAD=2.2.0.0   the version, as shown and as four numbers
;   /DOUTFILE=...                            the installer to write
;   /DICON=...                               quillon.ico
;   /DLICENSE=...                            the licence shown before installing
;   /DINSTALL_FILES=...                      an include: SetOutPath and File for every file installed
;   /DUNINSTALL_FILES=...                    an include: Delete for every file, then RMDir for every folder
;   /DESTIMATED_SIZE=...                     the installed size in KiB
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon"

Name "Quillon ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quillon"
RequestExecutionLevel admin
ManifestDPIAware true
BrandingText "Quillon ${VERSION}"

VIProductVersion ${VERSION_QUAD}
VIFileVersion ${VERSION_QUAD}
VIAddVersionKey /LANG=0 ProductName "Quillon"
VIAddVersionKey /LANG=0 CompanyName "Velmora"
VIAddVersionKey /LANG=0 FileDescription "Quillon ${VERSION} Setup"
VIAddVersionKey /LANG=0 FileVersion "${VERSION}"
VIAddVersionKey /LANG=0 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 LegalCopyright "Copyright (c) 2026 The Quillon developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\quillon.exe"
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "Quillon needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
    ; The shortcut for every user of the machine.
    SetShellVarContext all
FunctionEnd

Section "Quillon"
    !include "${INSTALL_FILES}"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    SetOutPath "$INSTDIR"
    CreateShortcut "$SMPROGRAMS\Quillon.lnk" "$INSTDIR\quillon.exe" "" "$INSTDIR\quillon.exe" 0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quillon"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillon.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Velmora"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${ESTIMATED_SIZE}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

; Only what the installer put there: files the user added (updaters, a workspace of their own) stay, and with
; them the folders that hold them.
Section "Uninstall"
    Delete "$SMPROGRAMS\Quillon.lnk"
    !include "${UNINSTALL_FILES}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
