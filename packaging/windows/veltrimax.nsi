; The Windows installer of Veltrimax. packaging/windows/make_packages.sh builds it:
;   makensis -DVERSION=1.0.0 -DPUBLISHER=... -DSTAGE=FOLDER -DICON=veltrimax.ico \
;            -DOUTFILE=Veltrimax-1.0.0-setup.exe veltrimax.nsi
; STAGE holds the files it installs: veltrimax.exe, vlt.exe, README.txt, vlt.txt, veltrimax.txt.
;
; Without administrator rights it installs for the current user, into
; %LOCALAPPDATA%\Programs\Veltrimax with its registry entries under HKCU; run elevated, for all
; users, into Program Files under HKLM; an update keeps the mode and folder of the install it
; updates. Switches: /CurrentUser or /AllUsers choose the mode,
; /AddToPath selects the PATH option, /S installs silently, /D=FOLDER (quoted or not) sets the
; folder. An install into another folder than the installed copy's takes that copy out first.
; The uninstaller removes what the section below writes, by name, and nothing else, and the
; empty folders the install made above its own.

Unicode true
Target amd64-unicode
; Elevation is the user's choice (see .onInit), so the installer never asks for it.
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include WinMessages.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrimax"
!define PROGID "Veltrimax.File"
!define PROGID_KEY "Software\Classes\${PROGID}"
!define ENCRYPT_VERB_KEY "Software\Classes\*\shell\VeltrimaxEncrypt"
!define SHCNE_ASSOCCHANGED 0x08000000

Name "Veltrimax"
OutFile "${OUTFILE}"
BrandingText "Veltrimax ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Veltrimax"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Veltrimax ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (C) ${PUBLISHER}"

Var AllUsers
; The outermost folder above $INSTDIR that this install made, empty when none.
Var MadeAbove

Section "Veltrimax" SecMain
    SectionIn RO
    ; The installed copy in another folder goes first, by its own uninstaller (run in place and
    ; waited for): left, its Start menu entry would uninstall this one's file type, verbs and
    ; Apps entry, and its folder would stay on the Path.
    ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} $0 != $INSTDIR
    ${AndIf} ${FileExists} "$0\uninstall.exe"
        DetailPrint "Removing the copy installed in $0"
        ReadRegStr $R7 SHCTX "${UNINSTALL_KEY}" "FoldersMadeFrom"
        ExecWait '"$0\uninstall.exe" /S _?=$0' $1
        ${If} $1 != 0
            MessageBox MB_ICONSTOP \
                "The copy of Veltrimax in $0 could not be removed: uninstall it in Settings, Apps, then install again." \
                /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        ; Run in place, it cannot remove itself, nor so its folder and those above.
        Delete "$0\uninstall.exe"
        StrCpy $R6 $0
        Call RemoveMadeFolders
    ${EndIf}
    StrCpy $MadeAbove ""
    ${GetParent} "$INSTDIR" $0
    ${Do}
        ${If} $0 == ""
        ${OrIf} ${FileExists} "$0\*.*"
            ${ExitDo}
        ${EndIf}
        StrCpy $MadeAbove $0
        ${GetParent} "$0" $0
    ${Loop}
    SetOutPath "$INSTDIR"
    File "${STAGE}/veltrimax.exe"
    File "${STAGE}/vlt.exe"
    File "${STAGE}/README.txt"
    File "${STAGE}/veltrimax.txt"
    File "${STAGE}/vlt.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortcut "$SMPROGRAMS\Veltrimax.lnk" "$INSTDIR\veltrimax.exe" "" \
        "$INSTDIR\veltrimax.exe" 0 SW_SHOWNORMAL "" "Encrypt and decrypt files with a primary key"

    ; The .vlt file type, with its own icon (the second icon in veltrimax.exe), opening in the
    ; window, which fills its decrypt side.
    WriteRegStr SHCTX "${PROGID_KEY}" "" "Veltrimax encrypted file"
    WriteRegStr SHCTX "${PROGID_KEY}\DefaultIcon" "" "$INSTDIR\veltrimax.exe,-2"
    WriteRegStr SHCTX "${PROGID_KEY}\shell\open\command" "" '"$INSTDIR\veltrimax.exe" "%1"'
    WriteRegStr SHCTX "${PROGID_KEY}\shell\VeltrimaxDecrypt" "" "Decrypt with Veltrimax"
    WriteRegStr SHCTX "${PROGID_KEY}\shell\VeltrimaxDecrypt" "Icon" "$INSTDIR\veltrimax.exe"
    WriteRegStr SHCTX "${PROGID_KEY}\shell\VeltrimaxDecrypt\command" "" \
        '"$INSTDIR\veltrimax.exe" --decrypt "%1"'
    WriteRegStr SHCTX "Software\Classes\.vlt\OpenWithProgids" "${PROGID}" ""
    ; .vlt is taken only when no other program has it, so that the uninstaller, which gives
    ; back only what names our type, never drops someone else's; nor, for one user, from a
    ; program that has it for all (the user's hive would override the machine's).
    ReadRegStr $0 SHCTX "Software\Classes\.vlt" ""
    ${If} $AllUsers == 0
    ${AndIf} $0 == ""
        ReadRegStr $0 HKLM "Software\Classes\.vlt" ""
        ${If} $0 == "${PROGID}"
            StrCpy $0 ""
        ${EndIf}
    ${EndIf}
    ${If} $0 == ""
        WriteRegStr SHCTX "Software\Classes\.vlt" "" "${PROGID}"
    ${EndIf}
    ; Any file, a .vlt file too: the window fills its encrypt side.
    WriteRegStr SHCTX "${ENCRYPT_VERB_KEY}" "" "Encrypt with Veltrimax"
    WriteRegStr SHCTX "${ENCRYPT_VERB_KEY}" "Icon" "$INSTDIR\veltrimax.exe"
    WriteRegStr SHCTX "${ENCRYPT_VERB_KEY}\command" "" \
        '"$INSTDIR\veltrimax.exe" --encrypt "%1"'
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

    ; Apps & features.
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Veltrimax"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\veltrimax.exe,0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${If} $MadeAbove != ""
        WriteRegStr SHCTX "${UNINSTALL_KEY}" "FoldersMadeFrom" "$MadeAbove"
    ${EndIf}
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Add vlt to the PATH" SecPath
    StrCpy $R0 "+"
    Call EditUserPath
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecMain} \
        "The window, vlt, their manual pages, a Start menu entry, the .vlt file type, and Encrypt and Decrypt with Veltrimax in Explorer's menu."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} \
        "Puts the program folder on your PATH, so that a new command prompt finds vlt."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Adds ($R0 "+") or removes ($R0 "-") the program folder in the user's Path
; (HKCU\Environment) and tells running programs. A Path longer than NSIS's strings
; (NSIS_MAX_STRLEN) is left alone: ReadRegStr would fail on it, and writing back a cut one
; would lose the rest.
!macro EDIT_USER_PATH un
Function ${un}EditUserPath
    ClearErrors
    ReadRegStr $0 HKCU "Environment" "Path"
    ${If} ${Errors}
        ; Either there is none or it is too long: look for its name.
        StrCpy $1 0
        ${Do}
            EnumRegValue $2 HKCU "Environment" $1
            ${If} $2 == ""
                ${ExitDo}
            ${ElseIf} $2 == "Path"
                DetailPrint "Your Path is too long to change here: change it by hand."
                Return
            ${EndIf}
            IntOp $1 $1 + 1
        ${Loop}
    ${EndIf}
    ${WordAdd} "$0" ";" "$R0$INSTDIR" $1
    ${If} $1 == $0
        Return
    ${EndIf}
    StrLen $2 $1
    ${If} $2 >= ${NSIS_MAX_STRLEN}
        DetailPrint "Your Path is too long to change here: change it by hand."
        Return
    ${EndIf}
    ${If} $1 == ""
        DeleteRegValue HKCU "Environment" "Path"
    ${Else}
        WriteRegExpandStr HKCU "Environment" "Path" "$1"
    ${EndIf}
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd
!macroend
!insertmacro EDIT_USER_PATH ""
!insertmacro EDIT_USER_PATH "un."

; Removes the folder $R6 and the folders above it up to $R7 (the outermost an install made,
; empty when none: the user's Programs folder, those of a /D= folder), each when it holds
; nothing else.
!macro REMOVE_MADE_FOLDERS un
Function ${un}RemoveMadeFolders
    RMDir "$R6"
    ${If} $R7 == ""
        Return
    ${EndIf}
    ${GetParent} "$R6" $R6
    ${Do}
        RMDir "$R6"
        ${If} $R6 == $R7
        ${OrIf} $R6 == ""
            ${ExitDo}
        ${EndIf}
        ${GetParent} "$R6" $R6
    ${Loop}
FunctionEnd
!macroend
!insertmacro REMOVE_MADE_FOLDERS ""
!insertmacro REMOVE_MADE_FOLDERS "un."

; Whether a switch is on the command line.
!macro HAS_SWITCH switch
    ClearErrors
    ${GetOptions} $R0 "${switch}" $R1
!macroend

Function .onInit
    ${GetParameters} $R0
    UserInfo::GetAccountType
    Pop $R2
    ; Elevated, for all users, unless it updates an install for this user alone.
    StrCpy $AllUsers 0
    ${If} $R2 == "Admin"
        StrCpy $AllUsers 1
        ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
        ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
        ${If} $0 == ""
        ${AndIf} $1 != ""
            StrCpy $AllUsers 0
        ${EndIf}
    ${EndIf}
    !insertmacro HAS_SWITCH "/CurrentUser"
    ${IfNot} ${Errors}
        StrCpy $AllUsers 0
    ${EndIf}
    !insertmacro HAS_SWITCH "/AllUsers"
    ${IfNot} ${Errors}
        ${If} $R2 != "Admin"
            MessageBox MB_ICONSTOP \
                "Installing for all users needs administrator rights: run the installer as administrator." \
                /SD IDOK
            ; ERROR_ELEVATION_REQUIRED
            SetErrorLevel 740
            Quit
        ${EndIf}
        StrCpy $AllUsers 1
    ${EndIf}
    !insertmacro HAS_SWITCH "/AddToPath"
    ${IfNot} ${Errors}
        SectionSetFlags ${SecPath} ${SF_SELECTED}
    ${EndIf}

    ${If} $AllUsers == 1
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
    ; NSIS takes /D= unquoted only and drops a quoted folder ("/D="C:\My Tools"") without a
    ; word: it is read from the command line as Windows has it.
    ${If} $INSTDIR == ""
        System::Call 'kernel32::GetCommandLineW() t .R3'
        ${WordFind} "$R3" '/D="' "E+1}" $R4
        ${IfNot} ${Errors}
            ${WordFind} "$R4" '"' "+1{" $INSTDIR
        ${EndIf}
    ${EndIf}
    ; /D= sets the folder; an update goes where the last install went.
    ${If} $INSTDIR == ""
        ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${EndIf}
    ${If} $INSTDIR == ""
    ${AndIf} $AllUsers == 1
        StrCpy $INSTDIR "$PROGRAMFILES64\Veltrimax"
    ${ElseIf} $INSTDIR == ""
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Veltrimax"
    ${EndIf}
FunctionEnd

Function un.onInit
    ; An install for all users is the one whose entry under HKLM names this folder.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        UserInfo::GetAccountType
        Pop $1
        ${If} $1 != "Admin"
            ; Apps & features starts it without elevation: start it again as administrator.
            ${If} ${Silent}
                ExecShell "runas" "$INSTDIR\uninstall.exe" "/S"
            ${Else}
                ExecShell "runas" "$INSTDIR\uninstall.exe"
            ${EndIf}
            Quit
        ${EndIf}
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
FunctionEnd

Section "Uninstall"
    DeleteRegKey SHCTX "${PROGID_KEY}"
    DeleteRegValue SHCTX "Software\Classes\.vlt\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty SHCTX "Software\Classes\.vlt\OpenWithProgids"
    ReadRegStr $0 SHCTX "Software\Classes\.vlt" ""
    ${If} $0 == "${PROGID}"
        DeleteRegValue SHCTX "Software\Classes\.vlt" ""
    ${EndIf}
    ReadRegStr $R7 SHCTX "${UNINSTALL_KEY}" "FoldersMadeFrom"
    DeleteRegKey /ifempty SHCTX "Software\Classes\.vlt"
    DeleteRegKey SHCTX "${ENCRYPT_VERB_KEY}"
    DeleteRegKey /ifempty SHCTX "Software\Classes\*\shell"
    DeleteRegKey /ifempty SHCTX "Software\Classes\*"
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
    StrCpy $R0 "-"
    Call un.EditUserPath
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"

    Delete "$SMPROGRAMS\Veltrimax.lnk"
    Delete "$INSTDIR\veltrimax.exe"
    Delete "$INSTDIR\vlt.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\veltrimax.txt"
    Delete "$INSTDIR\vlt.txt"
    Delete "$INSTDIR\uninstall.exe"
    StrCpy $R6 $INSTDIR
    Call un.RemoveMadeFolders
SectionEnd
