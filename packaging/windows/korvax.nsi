; The Windows installer of Korvax: korvax-setup-VERSION-ARCH.exe, built by
; scripts/make-installer.sh (the `installer` target of the Windows builds), which passes
;
;   /DVERSION=1.2.3 /DARCH=x64|x86 /DSTAGE=<folder of the files> /DOUTFILE=<installer>
;   [/DICON=<korvax.ico>]
;
; STAGE holds korvax.exe, korvax-scan.exe, kvdtool.exe, cpudll.dll, virbase.kvd and doc\.
;
; Per user by default, without administrator rights: into %LOCALAPPDATA%\Programs\Korvax,
; with its keys under HKCU. With /ALLUSERS, for an administrator: into Program Files (the
; 64-bit one for x64), with its keys under HKLM. /S installs silently; /D=FOLDER (last on
; the command line, as NSIS wants it) chooses another folder.
;
; What is installed, and what the uninstaller removes again (nothing else):
;   the programs, the default database and the manuals in the installation folder;
;   the Start menu shortcut "Korvax";
;   the folders' Explorer entry "Проверить в Korvax";
;   the entry of the system's list of programs.
; Both the shortcut and the Explorer entry start korvax.exe with --user-folder: it makes
; the user's data folder (%LOCALAPPDATA%\Korvax), copies the installed default database
; there on its first start and runs there, so that an update writes into the user's own
; copy, never into the installation folder, and no database that happens to lie in the
; folder being checked is ever taken. The user's data folder (databases, backups of cured
; files) belongs to the user and is never removed.

Unicode true
!ifndef VERSION | ARCH | STAGE | OUTFILE
  !error "makensis needs /DVERSION, /DARCH, /DSTAGE and /DOUTFILE (see scripts/make-installer.sh)"
!endif
!if "${ARCH}" == "x64"
  Target amd64-unicode
!else if "${ARCH}" != "x86"
  !error "ARCH is x64 or x86, not ${ARCH}"
!endif

!define PRODUCT "Korvax"
!define PUBLISHER "Korvax developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvax"
; The classic context menu of folders (on Windows 11 under "Show more options").
!define FOLDER_VERB_KEY "Software\Classes\Directory\shell\Korvax"
!define FOLDER_VERB_TEXT "Проверить в Korvax"
!define SHORTCUT "$SMPROGRAMS\Korvax.lnk"
; ERROR_ELEVATION_REQUIRED: what the system itself answers a program that needs the rights
; of an administrator.
!define EXIT_NEEDS_ADMINISTRATOR 740

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; A per-user install needs no rights beyond the user's own; /ALLUSERS checks for them.
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true
ManifestSupportedOS all
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} ${VERSION} (${ARCH}) setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "© ${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The first is the default; a Russian system gets the Russian pages.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

LangString NeedsX64 ${LANG_ENGLISH} "This is the installer for 64-bit Windows. Use korvax-setup-${VERSION}-x86.exe on this system."
LangString NeedsX64 ${LANG_RUSSIAN} "Это установщик для 64-разрядной Windows. Для этой системы нужен korvax-setup-${VERSION}-x86.exe."
LangString NeedsAdmin ${LANG_ENGLISH} "Installing Korvax for all users (/ALLUSERS) needs the rights of an administrator: run the installer as administrator, or without /ALLUSERS for yourself only."
LangString NeedsAdmin ${LANG_RUSSIAN} "Установка Korvax для всех пользователей (/ALLUSERS) требует прав администратора: запустите установщик от имени администратора или без /ALLUSERS, только для себя."
LangString UnNeedsAdmin ${LANG_ENGLISH} "Korvax was installed for all users: removing it needs the rights of an administrator. Run the uninstaller as administrator."
LangString UnNeedsAdmin ${LANG_RUSSIAN} "Korvax установлен для всех пользователей: для удаления нужны права администратора. Запустите удаление от имени администратора."
LangString ShortcutComment ${LANG_ENGLISH} "Check folders for viruses"
LangString ShortcutComment ${LANG_RUSSIAN} "Проверка папок на вирусы"
LangString InUse ${LANG_ENGLISH} "$0 is in use: close every Korvax program (a check in progress too), then retry."
LangString InUse ${LANG_RUSSIAN} "$0 используется: закройте все программы Korvax (и идущую проверку), затем повторите."

Var AllUsers  ; "1" for an install for all users, else "0"

; Every registry key below is the view of the installer's own architecture: the 64-bit
; programs are listed among the 64-bit ones.
!macro UseOwnRegistryView
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
!macroend

; Stops with `message` (shown, or only logged when silent) and the exit status `status`.
!macro Refuse message status
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  SetErrorLevel ${status}
  Quit
!macroend

; A program that runs (or the library a running program holds) can be neither replaced nor
; removed. Stops before anything is changed, so that nothing is left half installed or half
; removed: the user closes Korvax and retries, or cancels (silently: cancels, with the exit
; status ERROR_SHARING_VIOLATION) and runs it again later. A file open for writing is the
; system's own test: it is refused while the file runs or is loaded.
!macro RequireProgramsClosed
  ${ForEach} $1 0 3 + 1
    ${Select} $1
      ${Case} 0
        StrCpy $0 "korvax.exe"
      ${Case} 1
        StrCpy $0 "korvax-scan.exe"
      ${Case} 2
        StrCpy $0 "kvdtool.exe"
      ${Case} 3
        StrCpy $0 "cpudll.dll"
    ${EndSelect}
    ${If} ${FileExists} "$INSTDIR\$0"
      ${Do}
        ClearErrors
        FileOpen $2 "$INSTDIR\$0" a
        ${IfNot} ${Errors}
          FileClose $2
          ${Break}
        ${EndIf}
        ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(InUse)" /SD IDCANCEL IDRETRY`
          SetErrorLevel 32
          Quit
        ${EndIf}
      ${Loop}
    ${EndIf}
  ${Next}
!macroend

!macro RequireAdministrator message
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    !insertmacro Refuse "${message}" ${EXIT_NEEDS_ADMINISTRATOR}
  ${EndIf}
!macroend

Function .onInit
  !if "${ARCH}" == "x64"
    ${IfNot} ${RunningX64}
      !insertmacro Refuse "$(NeedsX64)" 2
    ${EndIf}
  !endif
  !insertmacro UseOwnRegistryView
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${If} ${Errors}
    StrCpy $AllUsers 0
    SetShellVarContext current
  ${Else}
    !insertmacro RequireAdministrator "$(NeedsAdmin)"
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${EndIf}
  ; /D=FOLDER has set $INSTDIR already. Else an earlier install of the same kind is
  ; installed over where it is, and a first one goes where the system keeps such programs.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      !if "${ARCH}" == "x64"
        StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
      !else
        StrCpy $INSTDIR "$PROGRAMFILES32\${PRODUCT}"
      !endif
    ${Else}
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Korvax" SectionMain
  SectionIn RO
  !insertmacro RequireProgramsClosed
  SetOutPath "$INSTDIR"
  File "${STAGE}\korvax.exe"
  File "${STAGE}\korvax-scan.exe"
  File "${STAGE}\kvdtool.exe"
  File "${STAGE}\cpudll.dll"
  ; The installed default: each user's first start copies it into their own data folder.
  File "${STAGE}\virbase.kvd"
  SetOutPath "$INSTDIR\doc"
  File "${STAGE}\doc\korvax.txt"
  File "${STAGE}\doc\korvax-scan.txt"
  File "${STAGE}\doc\kvdtool.txt"
  File "${STAGE}\doc\kvd.txt"
  File "${STAGE}\doc\signatures.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut's own working folder hardly matters (--user-folder moves into the user's
  ; data folder), but it must exist for the program to start: the installation folder.
  SetOutPath "$INSTDIR"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\korvax.exe" "--user-folder" "$INSTDIR\korvax.exe" 0 SW_SHOWNORMAL "" "$(ShortcutComment)"

  ; The folder comes after "--", so that a folder whose name begins with "-" is a folder.
  WriteRegStr SHCTX "${FOLDER_VERB_KEY}" "" "${FOLDER_VERB_TEXT}"
  WriteRegStr SHCTX "${FOLDER_VERB_KEY}" "Icon" "$INSTDIR\korvax.exe,0"
  WriteRegStr SHCTX "${FOLDER_VERB_KEY}\command" "" '"$INSTDIR\korvax.exe" --user-folder -- "%V"'

  ; The entry of the system's list of programs. The uninstaller tells an install for all
  ; users from its key under HKLM, which names its folder (un.onInit).
  StrCpy $0 '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\korvax.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" "$0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" "$0 /S"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  IntFmt $1 "0x%08X" $1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

Function un.onInit
  !insertmacro UseOwnRegistryView
  ; The install for all users is the one whose key under HKLM names this very folder; its
  ; removal needs the rights its install needed.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 == $INSTDIR
    !insertmacro RequireAdministrator "$(UnNeedsAdmin)"
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${Else}
    StrCpy $AllUsers 0
    SetShellVarContext current
  ${EndIf}
FunctionEnd

; Removes what the installer put there, by name, and the folders only when that leaves them
; empty: a file the user put into the installation folder stays, and so does the user's
; data folder (%LOCALAPPDATA%\Korvax: their database, their backups of cured files).
Section "Uninstall"
  !insertmacro RequireProgramsClosed
  Delete "$INSTDIR\korvax.exe"
  Delete "$INSTDIR\korvax-scan.exe"
  Delete "$INSTDIR\kvdtool.exe"
  Delete "$INSTDIR\cpudll.dll"
  Delete "$INSTDIR\virbase.kvd"
  Delete "$INSTDIR\doc\korvax.txt"
  Delete "$INSTDIR\doc\korvax-scan.txt"
  Delete "$INSTDIR\doc\kvdtool.txt"
  Delete "$INSTDIR\doc\kvd.txt"
  Delete "$INSTDIR\doc\signatures.txt"
  RMDir "$INSTDIR\doc"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${SHORTCUT}"
  ; The Explorer entry only when it is this install's own: another install may have
  ; replaced it since.
  ReadRegStr $0 SHCTX "${FOLDER_VERB_KEY}\command" ""
  ${If} $0 == '"$INSTDIR\korvax.exe" --user-folder -- "%V"'
    DeleteRegKey SHCTX "${FOLDER_VERB_KEY}"
  ${EndIf}
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
