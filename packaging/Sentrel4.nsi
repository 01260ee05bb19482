; Sentrel 4 per-user installer and uninstaller.
; makensis -DVERSION=4.0 -DVERSION_QUAD=4.0.0.0 -DDB_NUMBER=1 [-DTEST_KEY] -DSTAGE=<folder> -DOUTFILE=<exe> Sentrel4.nsi
; TEST_KEY marks a development build whose program carries the public test key for updates: its
; first page says so.
; STAGE holds what is installed: Sentrel4.exe (stripped), database.db, keys_to_watch.ini,
; graphics\ and Help\. The table of autostart points is built into the program: an
; autostart_points.ini in the folder holds only rows the user added and is the user's data.
; SHIPPED_FILES defines DELETE_SHIPPED_FOLDERS, which removes those two folders' shipped files
; (made by packaging/CMakeLists.txt).
;
; Command line: /S installs or uninstalls silently; /D=<folder> (last) chooses the folder.
; The uninstaller keeps the user's data in silent mode unless /REMOVEDATA is given.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include "${SHIPPED_FILES}"

!define PRODUCT "Sentrel 4"
!define PUBLISHER "Sentrel"
!define EXE "Sentrel4.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The shield's main window: WM_CLOSE to it ends the shield through its normal teardown.
!define SHIELD_WINDOW_CLASS "TMainForm"
!define SYNCHRONIZE 0x00100000
!define MOVEFILE_REPLACE_EXISTING 1
; How long the shield may take to write its database and options back after WM_CLOSE.
!define SHIELD_EXIT_TIMEOUT_MS 60000

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
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
!define MUI_ABORTWARNING
!define WELCOME_TEXT "Setup will install ${PRODUCT} ${VERSION} for you alone, in a folder of your own; it needs no administrator rights.$\r$\n$\r$\nA running ${PRODUCT} is closed first. Your options, lists, backups and an updated threat database are kept.$\r$\n$\r$\n"
!ifdef TEST_KEY
!define MUI_WELCOMEPAGE_TEXT "${WELCOME_TEXT}This is a development build: it accepts updates signed with the public test key, so anyone can send it updates. Do not install it on a computer you want protected.$\r$\n$\r$\nClick Next to continue."
!else
!define MUI_WELCOMEPAGE_TEXT "${WELCOME_TEXT}Click Next to continue."
!endif
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Start the ${PRODUCT} shield now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks a running shield to close (WM_CLOSE, as Windows does at log-off) and waits until its
; process has ended, so its database and options are written back before files are replaced.
; It is never killed: when it does not end, the user may retry; a silent run fails.
!macro DEFINE_STOP_SHIELD prefix
Function ${prefix}StopShield
    Push $0
    Push $1
    Push $2
    Push $3
retry:
    FindWindow $0 "${SHIELD_WINDOW_CLASS}"
    ${If} $0 != 0
        DetailPrint "Closing the running ${PRODUCT}..."
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
        System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
        System::Call 'user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0)'
        ${If} $2 P<> 0
            System::Call 'kernel32::WaitForSingleObject(p r2, i ${SHIELD_EXIT_TIMEOUT_MS}) i .r3'
            System::Call 'kernel32::CloseHandle(p r2)'
        ${Else}
            StrCpy $3 1
        ${EndIf}
        ${If} $3 != 0
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
                "${PRODUCT} is still running and did not close. Close it from its tray icon, then click Retry." \
                /SD IDCANCEL IDRETRY retry
            SetErrorLevel 3
            Quit
        ${EndIf}
        Goto retry
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_STOP_SHIELD ""
!insertmacro DEFINE_STOP_SHIELD "un."

; Moves `from` over `to` in one step (same folder); sets the error flag when it fails.
!macro REPLACE_FILE from to
    System::Call 'kernel32::MoveFileExW(w "${from}", w "${to}", i ${MOVEFILE_REPLACE_EXISTING}) i .s'
    Pop $9
    ${If} $9 == 0
        SetErrors
    ${EndIf}
!macroend

Var InstalledDbNumber

Section "Install"
    Call StopShield
    SetOutPath "$INSTDIR"

    ; The program and its shipped files. Pictures and help are the program's own folders.
    File "${STAGE}\${EXE}"
    File "${STAGE}\keys_to_watch.ini"
    !insertmacro DELETE_SHIPPED_FOLDERS
    File /r "${STAGE}\graphics"
    File /r "${STAGE}\Help"

    ; The threat database: an installed one is the user's, updated since; it is replaced only
    ; by a newer shipped one. Its number is "DBNumber" in options.ini (1 when not written).
    StrCpy $InstalledDbNumber 1
    ClearErrors
    ReadINIStr $0 "$INSTDIR\options.ini" "Options" "DBNumber"
    ${IfNot} ${Errors}
    ${AndIf} $0 != ""
        IntOp $InstalledDbNumber $0 + 0
    ${EndIf}
    ${IfNot} ${FileExists} "$INSTDIR\database.db"
    ${OrIf} ${DB_NUMBER} > $InstalledDbNumber
        DetailPrint "Installing the threat database (number ${DB_NUMBER})"
        File "/oname=database.db.new" "${STAGE}\database.db"
        ClearErrors
        !insertmacro REPLACE_FILE "$INSTDIR\database.db.new" "$INSTDIR\database.db"
        ${If} ${Errors}
            Delete "$INSTDIR\database.db.new"
            Abort "Could not replace $INSTDIR\database.db."
        ${EndIf}
        ; The number must name the database now in place: the program cannot tell it from the
        ; database itself. A fresh install gets an options.ini holding only this key; the program
        ; adds every other key at its first start.
        ; A copy that failed must not become an options.ini holding this key alone. (Testing the
        ; error flag clears it, so the outcome is kept in $1.)
        StrCpy $1 0
        Delete "$INSTDIR\options.ini.new"
        ClearErrors
        ${If} ${FileExists} "$INSTDIR\options.ini"
            CopyFiles /SILENT "$INSTDIR\options.ini" "$INSTDIR\options.ini.new"
        ${EndIf}
        WriteINIStr "$INSTDIR\options.ini.new" "Options" "DBNumber" "${DB_NUMBER}"
        ${If} ${Errors}
            StrCpy $1 1
        ${EndIf}
        ; Wine reports the flush of the profile cache as failed even when the file is written;
        ; the move below fails when it is not there.
        FlushINI "$INSTDIR\options.ini.new"
        ${If} $1 == 0
            ClearErrors
            !insertmacro REPLACE_FILE "$INSTDIR\options.ini.new" "$INSTDIR\options.ini"
            ${If} ${Errors}
                StrCpy $1 1
            ${EndIf}
        ${EndIf}
        ${If} $1 != 0
            Delete "$INSTDIR\options.ini.new"
            Abort "Could not write the database number into $INSTDIR\options.ini."
        ${EndIf}
    ${Else}
        DetailPrint "Keeping the installed threat database (number $InstalledDbNumber)"
    ${EndIf}

    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Var KeepData

Section "Uninstall"
    Call un.StopShield

    ; The user's data stays unless asked otherwise: silently only with /REMOVEDATA.
    StrCpy $KeepData 1
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVEDATA" $1
    ${IfNot} ${Errors}
        StrCpy $KeepData 0
    ${ElseIfNot} ${Silent}
        MessageBox MB_YESNO|MB_ICONQUESTION \
            "Keep your ${PRODUCT} data (options, black and white lists, threat database and the backups of the changes ${PRODUCT} made)?$\r$\n$\r$\nKeep it to undo those changes after installing ${PRODUCT} again." \
            IDYES +2
        StrCpy $KeepData 0
    ${EndIf}

    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\keys_to_watch.ini"
    !insertmacro DELETE_SHIPPED_FOLDERS
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"

    ${If} $KeepData == 0
        Delete "$INSTDIR\options.ini"
        Delete "$INSTDIR\autostart_points.ini"
        Delete "$INSTDIR\black_list.txt"
        Delete "$INSTDIR\white_list.txt"
        Delete "$INSTDIR\backups.ini"
        RMDir /r "$INSTDIR\backuped"
        Delete "$INSTDIR\database.db"
        Delete "$INSTDIR\db_backup.db"
        ; Working files an interrupted update may leave.
        Delete "$INSTDIR\db_unpacked.dat"
        Delete "$INSTDIR\db_unpacked_patched.dat"
        Delete "$INSTDIR\update_unpacked.dat"
        Delete "$INSTDIR\part_decrypted"
        RMDir "$APPDATA\.SentrelSettings"
    ${EndIf}

    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: whatever else the user put there stays.
    RMDir "$INSTDIR"
SectionEnd
