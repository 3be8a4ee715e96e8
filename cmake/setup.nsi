; The Windows setup: per user, no administrator, made by makensis from the package target
; (cmake/setup.cmake gives the defines below). Silent with /S; /D=FOLDER, last and unquoted,
; chooses the folder.
;
; PATH is never read into a string of this script, which holds 1,024 characters: veltrim-path
; (src/setup/path_helper.cc), unpacked into the plug-ins folder, edits it at any length. Its
; exit codes 3 to 7 mean that PATH was left as it was; the setup says so and, silent, ends
; with the same code, everything else installed:
;   3  PATH could not be read whole     5  PATH could not be written
;   4  PATH would pass 32,767 characters 6  the folder's name holds a ';'
;   7  the folder's name holds two '%', which PATH would take for a variable
; Two more codes mean that nothing was changed at all:
;   8  the folder holds a file named as one of ours that this setup did not write
;   9  veltrim.exe of this copy is running, so it can be neither replaced nor deleted; the
;      uninstaller ends with 9 too when a file of ours is left, and then keeps its entry
;  11  the copy that Apps & features names in another folder could not be removed first: its
;      uninstall.exe is not the one recorded, or did not start. The uninstaller ends with 11
;      when that entry names a folder other than its own: it removes nothing, and says so
; And one when the tool is installed but not all of it is known as ours:
;  10  a file the setup wrote could not be read back for its hash (held by another program):
;      it is not recorded, so the uninstaller leaves it
;
; The setup never replaces nor deletes a file it did not write: the Apps & features entry
; records, under Files, the SHA-256 of each file it wrote (veltrim-path hash), and a file is
; ours while its bytes still have that hash. The uninstaller deletes only such files, and
; counts only them in EstimatedSize. It takes a PATH entry out only when it added it
; (PathAdded), and deletes PATH when it created it (PathCreated).
;
; The quiet uninstall (QuietUninstallString, `uninstall.exe /S`) runs a copy of the uninstaller
; from the temporary folder, as NSIS uninstallers do so that they can delete their own file,
; and ends with 0 at once: the copy's code reaches no one. `uninstall.exe /S _?=FOLDER` runs
; in place: its caller waits for it and gets its code, 0, 3, 5, 9 or 11, and deletes uninstall.exe
; and the folder itself, which a running program cannot. (The uninstaller's own file stays open
; while it runs, so it cannot even move itself out of the folder.)
;
; Defines: VERSION (1.1), VERSION4 (1.1.0.0), PUBLISHER, PAYLOAD (a folder holding
; veltrim.exe, README.txt, LICENSE.txt), HELPER (veltrim-path.exe), ICON (veltrim.ico),
; OUTFILE.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
ManifestSupportedOS all
SetCompressor /SOLID lzma

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrim"
!define VERB_KEY "Software\Classes\SystemFileAssociations\.css\shell\Veltrim"
; The verb speaks Czech, as the tool's messages do, in their plain letters.
!define VERB_LABEL "Zpracovat Veltrimem"
!define FILES_KEY "${UNINST_KEY}\Files"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

Name "Veltrim ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Veltrim"
; Run again, it updates the copy it made, unless /D= says otherwise.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
; A drive's root (D:\) is a folder like any other here: the uninstaller deletes only files whose
; hashes it recorded, and never a folder that holds anything. Without this, an uninstaller run
; in place at a root would end at once with 2, removing nothing.
AllowRootDirInstall true
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
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
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
LangString PathVariable ${LANG_ENGLISH} "The folder's name holds two '%', which PATH would take for a variable and expand to another folder. PATH was left as it was."
LangString PathVariable ${LANG_CZECH} "Název složky obsahuje dva znaky '%', které by PATH vzala za proměnnou a rozvinula na jinou složku. PATH zůstala beze změny."
LangString NotOurs ${LANG_ENGLISH} "The folder $INSTDIR already holds a file $R7 that this setup did not put there. Nothing was changed: choose another folder, or an empty one."
LangString NotOurs ${LANG_CZECH} "Složka $INSTDIR už obsahuje soubor $R7, který tam tento instalátor nedal. Nic se nezměnilo: zvolte jinou, nebo prázdnou složku."
LangString Running ${LANG_ENGLISH} "Veltrim is running from $R7 (a console window waiting for Enter, or a conversion). Close it, then choose Retry; Cancel changes nothing."
LangString Running ${LANG_CZECH} "Veltrim ze složky $R7 ještě běží (okno konzole čekající na Enter nebo převod). Zavřete ho a zvolte Opakovat; Storno nic nezmění."
LangString UnLeft ${LANG_ENGLISH} "Some files in $INSTDIR could not be deleted. Veltrim stays in Apps & features: close what uses them and remove it again."
LangString UnLeft ${LANG_CZECH} "Některé soubory ve složce $INSTDIR nešlo smazat. Veltrim zůstává v Aplikacích: zavřete, co je používá, a odeberte ho znovu."
LangString HashFailed ${LANG_ENGLISH} "$INSTDIR\$R7 could not be read back to record it as the setup's (another program holds it). Veltrim is installed, but uninstalling will leave that file: delete it yourself."
LangString HashFailed ${LANG_CZECH} "Soubor $INSTDIR\$R7 nešlo přečíst, aby si ho instalátor zapsal jako svůj (drží ho jiný program). Veltrim je nainstalován, ale odinstalace ten soubor ponechá: smažte ho sami."
LangString OldNotRemoved ${LANG_ENGLISH} "Veltrim installed in $R7 could not be removed first: its uninstall.exe is not the one the setup wrote there, or did not start. Nothing was changed: remove that copy in Apps & features, then run the setup again."
LangString OldNotRemoved ${LANG_CZECH} "Veltrim nainstalovaný ve složce $R7 nešlo nejdřív odebrat: jeho uninstall.exe není ten, který tam instalátor zapsal, nebo se nespustil. Nic se nezměnilo: odeberte tu kopii v Aplikacích a spusťte instalátor znovu."
LangString UnNotThisCopy ${LANG_ENGLISH} "This uninstaller is in $INSTDIR, but Veltrim is installed in $R6. Nothing was removed: remove Veltrim in Apps & features."
LangString UnNotThisCopy ${LANG_CZECH} "Tento odinstalátor je ve složce $INSTDIR, ale Veltrim je nainstalován ve složce $R6. Nic nebylo odebráno: odeberte Veltrim v Aplikacích."
LangString UnPathUnreadable ${LANG_ENGLISH} "PATH could not be read whole. It was left as it was: take $INSTDIR out of it yourself."
LangString UnPathUnreadable ${LANG_CZECH} "Proměnnou PATH nešlo přečíst celou. Zůstala beze změny: složku $INSTDIR z ní odeberte sami."
LangString UnPathUnwritable ${LANG_ENGLISH} "PATH could not be written. It was left as it was: take $INSTDIR out of it yourself."
LangString UnPathUnwritable ${LANG_CZECH} "Proměnnou PATH nešlo zapsat. Zůstala beze změny: složku $INSTDIR z ní odeberte sami."

Var HashFailed   ; 1 once a file this run wrote could not be hashed: the run ends with 10
Var KeepReadme   ; 1 when the user changed the README.txt the setup wrote: it is left as it is
Var KeepLicense  ; the same for LICENSE.txt
Var HashTries    ; the tries HashFile has made on the file in hand

; veltrim-path in the plug-ins folder, unpacked once per run.
!macro UnpackHelper
  InitPluginsDir
  ${IfNot} ${FileExists} "$PLUGINSDIR\veltrim-path.exe"
    File "/oname=$PLUGINSDIR\veltrim-path.exe" "${HELPER}"
  ${EndIf}
!macroend

; OUT becomes FOLDER\NAME with one backslash also where FOLDER is a drive's root (D:\), so
; that it compares equal to the name Windows gives the same file.
!macro InFolder OUT FOLDER NAME
  StrCpy ${OUT} "${FOLDER}" 1 -1
  ${If} ${OUT} == "\"
    StrCpy ${OUT} "${FOLDER}" -1
    StrCpy ${OUT} "${OUT}\${NAME}"
  ${Else}
    StrCpy ${OUT} "${FOLDER}\${NAME}"
  ${EndIf}
!macroend

; Runs veltrim-path with ARGS, leaves its exit code in $0 (5 when it could not start). $R9 is
; the install folder as ARGS quote it: a trailing backslash (a drive's root, C:\) would escape
; the closing quote on the helper's command line, so it is doubled. NSIS gives a root chosen
; as D:\ as D:, which on PATH would name the current folder of D:, so the root's "\" is added.
!macro RunPathHelper ARGS
  StrCpy $R9 $INSTDIR
  StrCpy $R8 $INSTDIR 1 -1
  ${If} $R8 == "\"
    StrCpy $R9 "$INSTDIR\"
  ${ElseIf} $R8 == ":"
    StrCpy $R9 "$INSTDIR\\"
  ${EndIf}
  !insertmacro UnpackHelper
  ClearErrors
  ExecWait '"$PLUGINSDIR\veltrim-path.exe" ${ARGS}' $0
  ${If} ${Errors}
    StrCpy $0 5
  ${EndIf}
!macroend

; The file's SHA-256 into $1, "" when it cannot be read (or the helper cannot start). A file
; just written may be held for a moment (virus scanners open every new program), and a helper
; may fail to start on a loaded machine: ten tries, 300 ms apart, before it counts as unreadable.
!macro HashFile FILE
  !insertmacro UnpackHelper
  StrCpy $HashTries 0
  ${Do}
    nsExec::ExecToStack '"$PLUGINSDIR\veltrim-path.exe" hash "${FILE}"'
    Pop $0  ; the exit code, or "error"
    Pop $1
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    StrCpy $1 ""
    IntOp $HashTries $HashTries + 1
    ${If} $HashTries >= 10
    ${OrIfNot} ${FileExists} "${FILE}"
      ${Break}
    ${EndIf}
    Sleep 300
  ${Loop}
!macroend

; Whether FOLDER\NAME is a file this setup wrote, its bytes unchanged since: $2 is 1 or 0.
; $3 is its recorded hash ("" when none) and $1 its hash now ("" when it could not be read).
!macro IsOurs FOLDER NAME
  StrCpy $2 0
  StrCpy $1 ""
  ReadRegStr $3 HKCU "${FILES_KEY}" "${NAME}"
  ${If} $3 != ""
    !insertmacro HashFile "${FOLDER}\${NAME}"
    ${If} $1 == $3
      StrCpy $2 1
    ${EndIf}
  ${EndIf}
!macroend

; Whether $INSTDIR\veltrim.exe is running, or held by another program: it then cannot be
; opened for writing, as it cannot be replaced nor deleted. $2 is 1 or 0.
!macro InUse
  StrCpy $2 0
  ${If} ${FileExists} "$INSTDIR\veltrim.exe"
    ClearErrors
    FileOpen $3 "$INSTDIR\veltrim.exe" a
    ${If} ${Errors}
      StrCpy $2 1
    ${Else}
      FileClose $3
    ${EndIf}
  ${EndIf}
!macroend

; Runs the macro TRY until it leaves $2 at 0, asking between tries to close the Veltrim that
; runs from FOLDER; Cancel, and silent runs, end the run with 9 before anything has changed.
!macro RetryWhileRunning FOLDER TRY
  StrCpy $R7 "${FOLDER}"
  ${Do}
    !insertmacro ${TRY}
    ${If} $2 = 0
      ${Break}
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_ICONEXCLAMATION|MB_RETRYCANCEL "$(Running)" /SD IDCANCEL IDRETRY`
      SetErrorLevel 9
      Quit
    ${EndIf}
  ${Loop}
!macroend

!macro WaitWhileRunning
  !insertmacro RetryWhileRunning $INSTDIR InUse
!macroend

; $R6 is the folder the Apps & features entry names ("" without one); $2 is 1 when it is
; $INSTDIR, as full paths in any letter case (NSIS compares strings without it).
!macro ReadInstallLocation
  ReadRegStr $R6 HKCU "${UNINST_KEY}" "InstallLocation"
  StrCpy $2 0
  ${If} $R6 == $INSTDIR
    StrCpy $2 1
  ${ElseIf} $R6 != ""
    ; Only folders that exist have a full path here (NSIS gives "" for one that does not).
    GetFullPathName $3 $R6
    GetFullPathName $4 $INSTDIR
    ${If} $3 == $4
    ${AndIf} $3 != ""
      StrCpy $2 1
    ${EndIf}
  ${EndIf}
!macroend

!macro FolderCheck NAME
  ${If} $R7 == ""
  ${AndIf} ${FileExists} "$INSTDIR\${NAME}"
    StrCpy $2 $R5
    ${If} $2 = 0
    ${AndIf} $R3 = 1
      !insertmacro IsOurs $INSTDIR "${NAME}"
      ${If} $2 = 0
      ${AndIf} $1 != ""
        ; The user changed a note the setup wrote: it stays theirs, and is not written again.
        !if "${NAME}" == "README.txt"
          StrCpy $KeepReadme 1
          StrCpy $2 1
        !else if "${NAME}" == "LICENSE.txt"
          StrCpy $KeepLicense 1
          StrCpy $2 1
        !endif
      ${EndIf}
    ${EndIf}
    ${If} $2 = 0
      StrCpy $R7 "${NAME}"
    ${EndIf}
  ${EndIf}
!macroend

; The first of our files' names that $INSTDIR holds without this setup having written it, in
; $R7; "" when the folder is fit. A copy installed here before files were recorded (an entry
; naming this folder, without Files) wrote all four.
Function CheckFolder
  StrCpy $R7 ""
  StrCpy $KeepReadme 0
  StrCpy $KeepLicense 0
  !insertmacro ReadInstallLocation
  StrCpy $R3 $2
  StrCpy $R5 0
  ${If} $R3 = 1
    EnumRegValue $R4 HKCU "${FILES_KEY}" 0
    ${If} $R4 == ""
      StrCpy $R5 1
    ${EndIf}
  ${EndIf}
  !insertmacro FolderCheck "veltrim.exe"
  !insertmacro FolderCheck "README.txt"
  !insertmacro FolderCheck "LICENSE.txt"
  !insertmacro FolderCheck "uninstall.exe"
FunctionEnd

; On the pages, a folder that is not fit is refused where it is chosen.
Function DirectoryLeave
  Call CheckFolder
  ${If} $R7 != ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(NotOurs)"
    Abort
  ${EndIf}
FunctionEnd

; Writes the hash of $INSTDIR\NAME under Files and adds its size to $R4 (bytes). A file
; whose hash cannot be read is not recorded, so that it is never taken for ours by a guess:
; the run says so and ends with 10.
!macro Record NAME
  !insertmacro HashFile "$INSTDIR\${NAME}"
  ${If} $1 == ""
    DeleteRegValue HKCU "${FILES_KEY}" "${NAME}"
    StrCpy $R7 "${NAME}"
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(HashFailed)" /SD IDOK
    StrCpy $HashFailed 1
    SetErrorLevel 10
  ${Else}
    WriteRegStr HKCU "${FILES_KEY}" "${NAME}" $1
  ${EndIf}
  ClearErrors
  FileOpen $3 "$INSTDIR\${NAME}" r
  ${IfNot} ${Errors}
    FileSeek $3 0 END $2
    FileClose $3
    IntOp $R4 $R4 + $2
  ${EndIf}
!macroend

; Runs the uninstaller of the copy in $R0 (its file $R8) in place, its code into $R1; $2 is
; 1 while Veltrim running there stops it. One that does not start ends the run with 11, while
; nothing has changed yet.
!macro RunOldUninstaller
  ClearErrors
  ExecWait '"$R8" /S _?=$R0' $R1
  ${If} ${Errors}
    StrCpy $R7 $R0
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(OldNotRemoved)" /SD IDOK
    SetErrorLevel 11
    Quit
  ${EndIf}
  StrCpy $2 0
  ${If} $R1 = 9
    StrCpy $2 1
  ${EndIf}
!macroend

Section "$(SecTool)" SecTool
  SectionIn RO
  ; Nothing changes before the folder is known to be fit and its veltrim.exe free.
  Call CheckFolder
  ${If} $R7 != ""
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(NotOurs)" /SD IDOK
    SetErrorLevel 8
    Quit
  ${EndIf}
  !insertmacro WaitWhileRunning
  ; A copy elsewhere, from an earlier run with another /D=, goes first: one copy, one entry.
  !insertmacro ReadInstallLocation
  StrCpy $R0 $R6
  ; A root is recorded as NSIS gives it, D:, which an uninstaller takes for no folder.
  StrCpy $R8 $R0 1 -1
  ${If} $R8 == ":"
    StrCpy $R0 "$R0\"
  ${EndIf}
  !insertmacro InFolder $R8 $R0 "uninstall.exe"
  ${If} $R0 != ""
  ${AndIf} $2 = 0
  ${AndIf} ${FileExists} $R8
    ; Run or deleted only while it is the uninstaller recorded there (or one from before
    ; files were recorded, when the entry has no Files at all).
    EnumRegValue $R4 HKCU "${FILES_KEY}" 0
    ${If} $R4 != ""
      !insertmacro IsOurs $R0 "uninstall.exe"
      ${If} $2 = 0
        StrCpy $R7 $R0
        MessageBox MB_ICONEXCLAMATION|MB_OK "$(OldNotRemoved)" /SD IDOK
        SetErrorLevel 11
        Quit
      ${EndIf}
    ${EndIf}
    !insertmacro RetryWhileRunning $R0 RunOldUninstaller
    ; 0, or 3 or 5 with the rest removed; any other end (NSIS's own 1 or 2, or 11) left it.
    ${If} $R1 <> 0
    ${AndIf} $R1 <> 3
    ${AndIf} $R1 <> 5
      StrCpy $R7 $R0
      MessageBox MB_ICONEXCLAMATION|MB_OK "$(OldNotRemoved)" /SD IDOK
      SetErrorLevel 11
      Quit
    ${EndIf}
    ${If} $R1 > 2
      SetErrorLevel $R1  ; the old folder could not be taken off PATH
    ${EndIf}
    ; An uninstaller from before it moved itself out leaves itself behind.
    Delete $R8
    RMDir "$R0"
  ${EndIf}
  ; Updating the copy here: whether PATH holds an entry that the setup added carries over.
  ; A release before PathAdded added the entry whenever it could, and its uninstaller took
  ; the entry out again: without the value, the entry is taken for the setup's.
  StrCpy $R3 0
  !insertmacro ReadInstallLocation
  ${If} $2 = 1
    ClearErrors
    ReadRegDWORD $R3 HKCU "${UNINST_KEY}" "PathAdded"
    ${If} ${Errors}
      StrCpy $R3 1
    ${EndIf}
    ReadRegDWORD $R2 HKCU "${UNINST_KEY}" "PathCreated"
    ${If} $R2 = 1
      StrCpy $R3 1
    ${EndIf}
  ${EndIf}
  ${If} $R3 <> 1
    StrCpy $R3 0
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "${PAYLOAD}\veltrim.exe"
  ${If} $KeepReadme = 0
    File "${PAYLOAD}\README.txt"
  ${EndIf}
  ${If} $KeepLicense = 0
    File "${PAYLOAD}\LICENSE.txt"
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegDWORD HKCU "${UNINST_KEY}" "PathAdded" $R3
  ; A note the user changed keeps its recorded hash, which its bytes no longer have: it stays
  ; out of the size, is not written by the next update either, and uninstalling leaves it.
  DeleteRegValue HKCU "${FILES_KEY}" "veltrim.exe"
  DeleteRegValue HKCU "${FILES_KEY}" "uninstall.exe"
  StrCpy $R4 0
  StrCpy $HashFailed 0
  !insertmacro Record "veltrim.exe"
  ${If} $KeepReadme = 0
    !insertmacro Record "README.txt"
  ${EndIf}
  ${If} $KeepLicense = 0
    !insertmacro Record "LICENSE.txt"
  ${EndIf}
  !insertmacro Record "uninstall.exe"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "Veltrim"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\veltrim.exe"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ; In KiB, of what the setup wrote: the folder may hold the user's own files too.
  IntOp $R4 $R4 + 1023
  IntOp $R4 $R4 / 1024
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $R4
SectionEnd

Section "$(SecPath)" SecPath
  !insertmacro RunPathHelper 'add "$R9"'
  ${If} $0 = 2
    ; There was no PATH: uninstall deletes it again when it holds nothing else.
    WriteRegDWORD HKCU "${UNINST_KEY}" "PathCreated" 1
  ${EndIf}
  ${If} $0 = 0
  ${OrIf} $0 = 2
    ; Only an entry the setup added is taken out again: one the user had stays.
    WriteRegDWORD HKCU "${UNINST_KEY}" "PathAdded" 1
  ${ElseIf} $0 = 3
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PathUnreadable)" /SD IDOK
  ${ElseIf} $0 = 4
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PathTooLong)" /SD IDOK
  ${ElseIf} $0 = 6
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PathSemicolon)" /SD IDOK
  ${ElseIf} $0 = 7
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PathVariable)" /SD IDOK
  ${ElseIf} $0 > 2
    StrCpy $0 5
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(PathUnwritable)" /SD IDOK
  ${EndIf}
  ; A file left unrecorded (10) is the graver news: PATH's message has been shown.
  ${If} $0 > 2
  ${AndIf} $HashFailed <> 1
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

; Deletes $INSTDIR\NAME if it is ours; $R2 becomes 1 when a file of ours is left, or one
; recorded that cannot be read to tell (held by another program), which may be ours still.
!macro DeleteOurs NAME
  !insertmacro IsOurs $INSTDIR "${NAME}"
  ${If} $2 = 1
    Delete "$INSTDIR\${NAME}"
    ${If} ${FileExists} "$INSTDIR\${NAME}"
      StrCpy $R2 1
    ${EndIf}
  ${ElseIf} $3 != ""
  ${AndIf} $1 == ""
  ${AndIf} ${FileExists} "$INSTDIR\${NAME}"
    StrCpy $R2 1
  ${EndIf}
!macroend

Section "Uninstall"
  ; The entry's PATH values and hashes describe the folder it names: an uninstaller left in
  ; another folder (a stale or copied uninstall.exe) would apply them to the wrong one and
  ; drop the entry of the live copy. It removes nothing at all, and says so.
  !insertmacro ReadInstallLocation
  ${If} $2 = 0
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(UnNotThisCopy)" /SD IDOK
    SetErrorLevel 11
    Quit
  ${EndIf}
  !insertmacro WaitWhileRunning
  ReadRegDWORD $1 HKCU "${UNINST_KEY}" "PathAdded"
  ReadRegDWORD $2 HKCU "${UNINST_KEY}" "PathCreated"
  StrCpy $0 1
  ${If} $2 = 1
    !insertmacro RunPathHelper 'remove "$R9" --drop-empty'
  ${ElseIf} $1 = 1
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
  StrCpy $R2 0
  !insertmacro DeleteOurs "veltrim.exe"
  !insertmacro DeleteOurs "README.txt"
  !insertmacro DeleteOurs "LICENSE.txt"
  ; Run in place (`/S _?=FOLDER`), the uninstaller cannot delete its own file: it leaves it,
  ; and the folder, to its caller.
  ; At a drive's root $INSTDIR ends in "\": the names are compared as Windows gives them.
  !insertmacro InFolder $R8 $INSTDIR "uninstall.exe"
  GetFullPathName $R7 $EXEPATH
  ${If} $R7 != $R8
    !insertmacro DeleteOurs "uninstall.exe"
  ${EndIf}
  RMDir "$INSTDIR"
  ${If} $R2 = 0
    DeleteRegKey HKCU "${UNINST_KEY}"
  ${Else}
    ; A file of ours is left (held by another program): the entry stays to remove it later.
    MessageBox MB_ICONEXCLAMATION|MB_OK "$(UnLeft)" /SD IDOK
    SetErrorLevel 9
  ${EndIf}
SectionEnd
