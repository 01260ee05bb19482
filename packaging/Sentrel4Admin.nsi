; Sentrel 4 administrator part: installer and uninstaller, run by an administrator.
; makensis -DVERSION=4.0 -DVERSION_QUAD=4.0.0.0 -DSTAGE=<folder> -DICON=<ico> -DOUTFILE=<exe> Sentrel4Admin.nsi
; STAGE holds Sentrel4Admin.exe (stripped).
;
; It puts Sentrel4Admin.exe under Program Files, where only administrators write, and makes the
; part's store below the machine's application data folder, which users may read and only the
; system and administrators write. The shield looks for the part in that one place; there is no
; choice of folder. Command line: /S installs or uninstalls silently. The uninstaller keeps the
; store (what the part removed stays there to be put back) unless /REMOVEDATA is given.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT "Sentrel 4 Administrator"
!define PUBLISHER "Sentrel"
!define EXE "Sentrel4Admin.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The store's rules: owned by the Administrators, full control for the system and the
; Administrators, read for users, nothing inherited from the folder above (which users may write).
!define STORE_OWNER '/setowner *S-1-5-32-544'
!define STORE_RULES '/inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "Sentrel 4 ${VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEPAGE_TEXT "Setup will install the administrator part of Sentrel 4 for every user of this computer, in $PROGRAMFILES64.$\r$\n$\r$\nWith it, Sentrel can remove what a program added to the places that start programs for the whole computer (the machine's Run lists, the common Startup folder, services, scheduled tasks). Windows asks an administrator's consent each time; the part removes only what Sentrel showed and keeps it so that it can be put back.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetShellVarContext all
    ${IfNot} ${RunningX64}
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
FunctionEnd

Function un.onInit
    SetShellVarContext all
    SetRegView 64
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File "${STAGE}\${EXE}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The store, with its rules set whoever made the folder first.
    CreateDirectory "$APPDATA\${PRODUCT}"
    nsExec::Exec '"$SYSDIR\icacls.exe" "$APPDATA\${PRODUCT}" ${STORE_OWNER} /T /C /Q'
    Pop $0
    nsExec::Exec '"$SYSDIR\icacls.exe" "$APPDATA\${PRODUCT}" ${STORE_RULES} /T /C /Q'
    Pop $1
    ${If} $0 != 0
    ${OrIf} $1 != 0
        DetailPrint "The rules of $APPDATA\${PRODUCT} could not be set ($0, $1); the part refuses to work until they are."
    ${EndIf}

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVEDATA" $1
    ${IfNot} ${Errors}
        RMDir /r "$APPDATA\${PRODUCT}"
    ${EndIf}
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
