; The Windows setup: per user, no administrator, made by makensis from the package target
; (cmake/setup.cmake gives the defines below). Silent with /S; /D=FOLDER, last and unquoted,
; chooses the folder.
;
; PATH is never read into a string of this script, which holds 1,024 characters: veltrim-path
; (src/setup/path_helper.cc), unpacked into the plug-ins folder, edits it at any length. Its
; exit codes 3 to 6 mean that PATH was left as it was; the setup says so and, silent, ends
; with the same code:
;   3  PATH could not be read whole     5  PATH could not be written
;   4  PATH would pass 32,767 characters 6  the folder's name holds a ';'
;
; The uninstaller sets 3 and 5 the same way, but its quiet command (`uninstall.exe /S`) runs
; a copy of it from the temporary folder, as NSIS uninstallers do so that they can delete
; themselves, and ends with 0 at once: only `uninstall.exe /S _?=FOLDER`, which runs in place
; and leaves itself behind, ends with its code.
;
; Defines: VERSION (1.1), VERSION4 (1.1.0.0), PUBLISHER, PAYLOAD (a folder holding
; veltrim.exe, README.txt, LICENSE.txt), HELPER (veltrim-path.exe), OUTFILE.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
ManifestSupportedOS all
SetCompressor /SOLID lzma

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrim"
!define VERB_KEY "Software\Classes\SystemFileAssociations\.css\shell\Veltrim"
; The verb speaks Czech, as the tool's messages do, in their plain letters.
!define VERB_LABEL "Zpracovat Veltrimem"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

Name "Veltrim ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Veltrim"
; Run again, it updates the copy it made, unless /D= says otherwise.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
BrandingText "Veltrim ${VERSION}"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "Veltrim"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Veltrim ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT licence"

!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; English first: the pages' language on a system in any language but Czech.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Czech"

LangString SecTool ${LANG_ENGLISH} "Veltrim (veltrim.exe, README.txt)"
LangString SecTool ${LANG_CZECH} "Veltrim (veltrim.exe, README.txt)"
LangString SecPath ${LANG_ENGLISH} "Add the folder to PATH"
LangString SecPath ${LANG_CZECH} "Přidat složku do proměnné PATH"
LangString SecShell ${LANG_ENGLISH} "Send To and a command on .css files in Explorer"
LangString SecShell ${LANG_CZECH} "Odeslat do a příkaz pro soubory .css v Průzkumníkovi"
LangString PathUnreadable ${LANG_ENGLISH} "PATH could not be read whole. It was left as it was: add $INSTDIR to it yourself."
LangString PathUnreadable ${LANG_CZECH} "Proměnnou PATH nešlo přečíst celou. Zůstala beze změny: složku $INSTDIR do ní přidejte sami."
LangString PathTooLong ${LANG_ENGLISH} "PATH would grow past 32,767 characters. It was left as it was: add $INSTDIR to it yourself."
LangString PathTooLong ${LANG_CZECH} "Proměnná PATH by přesáhla 32 767 znaků. Zůstala beze změny: složku $INSTDIR do ní přidejte sami."
LangString PathUnwritable ${LANG_ENGLISH} "PATH could not be written. It was left as it was."
LangString PathUnwritable ${LANG_CZECH} "Proměnnou PATH nešlo zapsat. Zůstala beze změny."
LangString PathSemicolon ${LANG_ENGLISH} "The folder's name holds a ';', which PATH cannot hold. PATH was left as it was."
LangString PathSemicolon ${LANG_CZECH} "Název složky obsahuje ';', který v PATH být nemůže. PATH zůstala beze změny."
LangString UnPathUnreadable ${LANG_ENGLISH} "PATH could not be read whole. It was left as it was: take $INSTDIR out of it yourself."
LangString UnPathUnreadable ${LANG_CZECH} "Proměnnou PATH nešlo přečíst celou. Zůstala beze změny: složku $INSTDIR z ní odeberte sami."
LangString UnPathUnwritable ${LANG_ENGLISH} "PATH could not be written. It was left as it was: take $INSTDIR out of it yourself."
LangString UnPathUnwritable ${LANG_CZECH} "Proměnnou PATH nešlo zapsat. Zůstala beze změny: složku $INSTDIR z ní odeberte sami."

; Runs veltrim-path with ARGS, leaves its exit code in $0 (5 when it could not start). $R9 is
; the install folder as ARGS quote it: a trailing backslash (a drive's root, C:\) would escape
; the closing quote on the helper's command line, so it is doubled.
!macro RunPathHelper ARGS
  StrCpy $R9 $INSTDIR
  StrCpy $R8 $INSTDIR 1 -1
  ${If} $R8 == "\"
    StrCpy $R9 "$INSTDIR\"
  ${EndIf}
  InitPluginsDir
  File "/oname=$PLUGINSDIR\veltrim-path.exe" "${HELPER}"
  ClearErrors
  ExecWait '"$PLUGINSDIR\veltrim-path.exe" ${ARGS}' $0
  ${If} ${Errors}
    StrCpy $0 5
  ${EndIf}
!macroend

Section "$(SecTool)" SecTool
  SectionIn RO
  ; A copy elsewhere, from an earlier run with another /D=, goes first: one copy, one entry.
  ReadRegStr $R0 HKCU "${UNINST_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} $R0 != $INSTDIR
  ${AndIf} ${FileExists} "$R0\uninstall.exe"
    ExecWait '"$R0\uninstall.exe" /S _?=$R0' $R1
    ${If} $R1 > 2
      SetErrorLevel $R1  ; the old folder could not be taken off PATH
    ${EndIf}
    Delete "$R0\uninstall.exe"
    RMDir "$R0"
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "${PAYLOAD}\veltrim.exe"
  File "${PAYLOAD}\README.txt"
  File "${PAYLOAD}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "Veltrim"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\veltrim.exe"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Section "$(SecPath)" SecPath
  !insertmacro RunPathHelper 'add "$R9"'
  ${If} $0 = 2
    ; There was no PATH: uninstall deletes it again when it holds nothing else.
    WriteRegDWORD HKCU "${UNINST_KEY}" "PathCreated" 1
  ${ElseIf} $0 = 3
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PathUnreadable)" /SD IDOK
  ${ElseIf} $0 = 4
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PathTooLong)" /SD IDOK
  ${ElseIf} $0 = 6
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PathSemicolon)" /SD IDOK
  ${ElseIf} $0 > 2
    StrCpy $0 5
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PathUnwritable)" /SD IDOK
  ${EndIf}
  ${If} $0 > 2
    SetErrorLevel $0
  ${EndIf}
SectionEnd

Section "$(SecShell)" SecShell
  SetOutPath "$INSTDIR"  ; the shortcut's working folder
  CreateShortcut "$SENDTO\Veltrim.lnk" "$INSTDIR\veltrim.exe"
  WriteRegStr HKCU "${VERB_KEY}" "" "${VERB_LABEL}"
  WriteRegStr HKCU "${VERB_KEY}" "MUIVerb" "${VERB_LABEL}"
  ; A command verb starts one process a selected file: it is for one file, many go by Send To.
  WriteRegStr HKCU "${VERB_KEY}" "MultiSelectModel" "Single"
  WriteRegStr HKCU "${VERB_KEY}\command" "" '"$INSTDIR\veltrim.exe" "%1"'
SectionEnd

; Not chosen this time: what an earlier run put in Explorer goes.
Section "-Explorer left out"
  ${IfNot} ${SectionIsSelected} ${SecShell}
    Delete "$SENDTO\Veltrim.lnk"
    DeleteRegKey HKCU "${VERB_KEY}"
  ${EndIf}
SectionEnd

Section "Uninstall"
  ReadRegDWORD $1 HKCU "${UNINST_KEY}" "PathCreated"
  ${If} $1 = 1
    !insertmacro RunPathHelper 'remove "$R9" --drop-empty'
  ${Else}
    !insertmacro RunPathHelper 'remove "$R9"'
  ${EndIf}
  ${If} $0 = 3
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(UnPathUnreadable)" /SD IDOK
  ${ElseIf} $0 > 2
    StrCpy $0 5
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(UnPathUnwritable)" /SD IDOK
  ${EndIf}
  ${If} $0 > 2
    SetErrorLevel $0
  ${EndIf}
  Delete "$SENDTO\Veltrim.lnk"
  DeleteRegKey HKCU "${VERB_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Classes\SystemFileAssociations\.css\shell"
  DeleteRegKey /ifempty HKCU "Software\Classes\SystemFileAssociations\.css"
  Delete "$INSTDIR\veltrim.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINST_KEY}"
SectionEnd
