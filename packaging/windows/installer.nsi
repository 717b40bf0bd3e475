; Installer for Larkspan on 64-bit Windows. The program folder's contents come from a payload
; folder given at build time: a stripped installation of a Windows build (the build target
; larkspan_setup, cmake/WindowsRuntime.cmake, makes both; scripts/windows/build-installer.sh the
; one that ships). Built with Debian's NSIS:
;
;   makensis -DPAYLOAD_DIR=<folder> -DVERSION=1.3 -DVERSION_MAJOR=1 -DVERSION_MINOR=3 \
;            -DFILE_VERSION=1.3.0.0 -DWEBSITE=http://larkspan.example/ -DICON=<larkspan.ico> \
;            -DWIZARD_BITMAP=<installer-side.bmp> -DLICENCE=<licence.txt> \
;            -DCOPYRIGHT_NSH=<copyright.nsh> -DUNINSTALL_LAUNCHER=<uninstall.exe> \
;            -DOUTFILE=<Setup.exe> installer.nsi
;
; Pages: welcome (naming the installed version on an upgrade), licence, folder, progress, and a
; finish page with "Run Larkspan". Installs the
; payload into "Program Files\Larkspan" (or, on an upgrade, where the installed copy is), writes
; the installation record the program reads at start (HKLM\Software\Oxbeck\Larkspan, string
; values Version and Website), a Start-menu entry and an entry in the list of installed
; programs, and an uninstaller that removes all of it. Both run silently with /S.
;
; The uninstaller is two files: uninstall.exe (UNINSTALL_LAUNCHER, UninstallLauncher.cpp), which
; the list of installed programs and scripts start and which waits for the removal, and
; uninstall.dat, the NSIS uninstaller that it runs from a copy in the temporary folder.
;
; Neither runs while Larkspan does: each asks the user to close it (Retry, Cancel); a silent run
; is refused. Exit status: 0 done, 1 cancelled by the user, 2 refused or failed (nothing was
; changed; an install whose files, record or entry could not all be written is taken away
; again; after a file that could not be deleted, the record and the entry stay so that the
; removal can be finished later).

!ifndef PAYLOAD_DIR
  !error "PAYLOAD_DIR must name the folder whose files make up the program folder"
!endif
!ifndef VERSION
  !error "VERSION must give the version written into the installation record"
!endif
!ifndef FILE_VERSION
  !error "FILE_VERSION must give the version as four numbers (1.3.0.0) for the file's properties"
!endif
!ifndef VERSION_MAJOR
  !error "VERSION_MAJOR must give the version's first number (1 of 1.3)"
!endif
!ifndef VERSION_MINOR
  !error "VERSION_MINOR must give the version's second number (3 of 1.3)"
!endif
!ifndef WEBSITE
  !error "WEBSITE must give the web-site address written into the installation record"
!endif
!ifndef ICON
  !error "ICON must name the program's icon file (larkspan.ico)"
!endif
!ifndef WIZARD_BITMAP
  !error "WIZARD_BITMAP must name the picture of the welcome and finish pages (164 x 314 BMP)"
!endif
!ifndef LICENCE
  !error "LICENCE must name the text of the program's licence"
!endif
!ifndef COPYRIGHT_NSH
  !error "COPYRIGHT_NSH must name the build's copyright.nsh (the notice as !define COPYRIGHT)"
!endif
!ifndef UNINSTALL_LAUNCHER
  !error "UNINSTALL_LAUNCHER must name the built uninstall.exe"
!endif
!ifndef OUTFILE
  !define OUTFILE "Larkspan-${VERSION}-Setup.exe"
!endif
!ifndef PROGRAM_EXE
  !define PROGRAM_EXE "larkspan.exe"
!endif

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "MUI2.nsh"

!define PRODUCT "Larkspan"
!define RECORD_KEY "Software\Oxbeck\${PRODUCT}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The About window's notice, from the build.
!include "${COPYRIGHT_NSH}"
; SYNCHRONIZE: enough to open a mutex and see that it exists.
!define SYNCHRONIZE 0x00100000

; A 64-bit installer for a 64-bit program: it runs where the program runs (also under a wine
; without its 32-bit half) and sees the 64-bit Program Files folder.
Target amd64-unicode
Unicode true
SetCompressor /SOLID lzma
Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${PRODUCT} ${VERSION}"

; The file lists are made from the payload folder, so that the uninstaller removes exactly the
; files the installer wrote.
!tempfile PAYLOAD_LISTS
!ifndef MODEL_COMPONENTS
  !define MODEL_COMPONENTS ""
!endif
!system 'sh "${__FILEDIR__}/payload-lists.sh" "${PAYLOAD_DIR}" "${PAYLOAD_LISTS}" "${MODEL_COMPONENTS}"' = 0
!include "${PAYLOAD_LISTS}"
!delfile "${PAYLOAD_LISTS}"

; The folder of the copy an earlier Setup installed (its entry's InstallLocation), or empty.
Var PreviousFolder
; The version of that copy (its entry's DisplayVersion), or empty.
Var PreviousVersion
; 1 when a copy of the program runs, set by ProgramRuns.
Var Running
; What the welcome page says: an upgrade names the copy it replaces.
Var WelcomeTitle
Var WelcomeText
; What could not be written, for the message of a failed install.
Var FailedWrite

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD_BITMAP}"
!define MUI_ABORTWARNING
!define MUI_PAGE_CUSTOMFUNCTION_PRE WelcomePage
!define MUI_WELCOMEPAGE_TITLE "$WelcomeTitle"
!define MUI_WELCOMEPAGE_TEXT "$WelcomeText"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENCE}"
; The text recognition's models of other scripts and languages (LarkspanModelSections).
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Run ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION RunProgram
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; What Explorer's Properties show for Setup.exe.
VIProductVersion "${FILE_VERSION}"
VIFileVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Oxbeck"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COPYRIGHT}"

; The program is 64-bit and reads the 64-bit registry view; the record must land there even if
; this script is ever built as a 32-bit installer, whose writes would otherwise go to the
; 32-bit view (WOW6432Node).
!macro UseProgramViews
  SetRegView 64
  SetShellVarContext all
!macroend

; Sets $Running to 1 when the program runs in the user's logon: its single-instance mutex
; exists (the program names it after itself), or its file in FOLDER cannot be opened for
; writing, which a running program's file never can, whoever started it.
!macro CheckProgramFile FOLDER
  ${If} $Running == 0
  ${AndIf} "${FOLDER}" != ""
  ${AndIf} ${FileExists} "${FOLDER}\${PROGRAM_EXE}"
    ClearErrors
    FileOpen $0 "${FOLDER}\${PROGRAM_EXE}" a
    ${If} ${Errors}
      StrCpy $Running 1
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
!macroend

; ProgramRuns and RefuseWhileRunning, for the installer ("") and the uninstaller ("un.").
!macro RunningChecks UN
Function ${UN}ProgramRuns
  Push $0
  StrCpy $Running 0
  System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${PRODUCT}") p .r0'
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    StrCpy $Running 1
  ${EndIf}
  !insertmacro CheckProgramFile "$INSTDIR"
  !insertmacro CheckProgramFile "$PreviousFolder"
  Pop $0
FunctionEnd

; Asks the user to close Larkspan for as long as they choose Retry. Cancel, or a silent run,
; ends this run (exit status 2) before it has changed anything.
Function ${UN}RefuseWhileRunning
  ${Do}
    Call ${UN}ProgramRuns
    ${If} $Running == 0
      Return
    ${EndIf}
    ${If} ${Silent}
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is running.$\r$\n$\r$\nClose ${PRODUCT}, then choose Retry." IDRETRY retry
    ${Break}
    retry:
  ${Loop}
  SetErrorLevel 2
  Quit
FunctionEnd
!macroend
!insertmacro RunningChecks ""
!insertmacro RunningChecks "un."

Function .onInit
  !insertmacro UseProgramViews
  ReadRegStr $PreviousFolder HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $PreviousVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $PreviousFolder != ""
  ${AndIfNot} ${FileExists} "$PreviousFolder\uninstall.exe"
    StrCpy $PreviousFolder ""
  ${EndIf}
  ; An upgrade goes where the installed copy is; only a folder named on the command line (/D=)
  ; or chosen on the folder page puts it elsewhere, and the old copy then goes.
  ${If} $PreviousFolder != ""
  ${AndIf} $INSTDIR == "$PROGRAMFILES64\${PRODUCT}"
    StrCpy $INSTDIR $PreviousFolder
  ${EndIf}
  Call RefuseWhileRunning
FunctionEnd

; ---- The welcome page ----------------------------------------------------------------------
; An upgrade says so, and which copy it replaces; a first install gets NSIS's own words.
Function WelcomePage
  ${If} $PreviousFolder == ""
    StrCpy $WelcomeTitle "$(MUI_TEXT_WELCOME_INFO_TITLE)"
    StrCpy $WelcomeText "$(MUI_TEXT_WELCOME_INFO_TEXT)"
    Return
  ${EndIf}
  ${If} $PreviousVersion == ""
    StrCpy $PreviousVersion "of unknown version"
  ${EndIf}
  StrCpy $WelcomeTitle "Upgrade ${PRODUCT} to version ${VERSION}"
  StrCpy $WelcomeText "${PRODUCT} $PreviousVersion is installed in $PreviousFolder.$\r$\n$\r$\nSetup will replace it with ${PRODUCT} ${VERSION}: the installed copy is removed first, then the new one is installed.$\r$\n$\r$\n$_CLICK"
FunctionEnd

; The installed copy is removed by its own uninstaller before the new one is written, so that
; none of its files outlives it, wherever the new copy goes. It runs from a copy with "_?="
; (done when it returns, whichever Setup made it), and goes before anything is written.
Function RemovePreviousCopy
  ${If} $PreviousFolder == ""
    Return
  ${EndIf}
  InitPluginsDir
  ClearErrors
  CopyFiles /SILENT "$PreviousFolder\uninstall.exe" "$PLUGINSDIR\previous-uninstall.exe"
  ${IfNot} ${Errors}
    ExecWait '"$PLUGINSDIR\previous-uninstall.exe" /S _?=$PreviousFolder' $0
  ${EndIf}
  ${If} ${Errors}
  ${OrIf} $0 != 0
    MessageBox MB_OK|MB_ICONSTOP \
      "Setup could not remove the installed copy of ${PRODUCT} in $PreviousFolder.$\r$\n$\r$\nSetup ends without installing." \
      /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  Delete "$PLUGINSDIR\previous-uninstall.exe"
FunctionEnd

; Started by Explorer, as the logged-on user, and not with this installer's administrator
; rights: an elevated program would refuse files dragged onto it from Explorer.
Function RunProgram
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${PROGRAM_EXE}"'
FunctionEnd

; ---- Checked writes ------------------------------------------------------------------------
; NSIS's writes only set the error flag when they fail. Each is checked, and an install that
; could not be written whole is taken away again: no record or entry is left that the program
; or the list of installed programs would trust, and a silent run ends with status 2.
!macro Checked WHAT
  ${If} ${Errors}
    StrCpy $FailedWrite "${WHAT}"
    Call UndoInstall
  ${EndIf}
!macroend
; The value in backquotes: it may hold double quotes.
!macro RecordString KEY NAME VALUE
  ClearErrors
  WriteRegStr HKLM "${KEY}" "${NAME}" `${VALUE}`
  !insertmacro Checked "HKLM\${KEY}\${NAME}"
!macroend
!macro RecordNumber KEY NAME VALUE
  ClearErrors
  WriteRegDWORD HKLM "${KEY}" "${NAME}" "${VALUE}"
  !insertmacro Checked "HKLM\${KEY}\${NAME}"
!macroend

Function UndoInstall
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${RECORD_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Oxbeck"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !insertmacro LarkspanRemoveFiles
  !insertmacro LarkspanRemoveModels
  !insertmacro LarkspanRemoveFolders
  Delete "$INSTDIR\uninstall.exe"
  Delete "$INSTDIR\uninstall.dat"
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
  MessageBox MB_OK|MB_ICONSTOP \
    "Setup could not write $FailedWrite.$\r$\n$\r$\n${PRODUCT} is not installed. Setup ends." \
    /SD IDOK
  SetErrorLevel 2
  Quit
FunctionEnd

Section "Larkspan, with text recognition in English" install_program
  SectionIn RO
  !insertmacro UseProgramViews
  ; Again: the program may have been started while the pages were shown.
  Call RefuseWhileRunning
  Call RemovePreviousCopy
  ClearErrors
  !insertmacro LarkspanInstallFiles
  SetOutPath "$INSTDIR"
  File "/oname=uninstall.exe" "${UNINSTALL_LAUNCHER}"
  WriteUninstaller "$INSTDIR\uninstall.dat"
  !insertmacro Checked "the program's files in $INSTDIR"

  !insertmacro RecordString "${RECORD_KEY}" "Version" "${VERSION}"
  !insertmacro RecordString "${RECORD_KEY}" "Website" "${WEBSITE}"

  ClearErrors
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_EXE}"
  !insertmacro Checked "the Start-menu entry $SMPROGRAMS\${PRODUCT}.lnk"

  !insertmacro RecordString "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  !insertmacro RecordString "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  !insertmacro RecordNumber "${UNINSTALL_KEY}" "VersionMajor" "${VERSION_MAJOR}"
  !insertmacro RecordNumber "${UNINSTALL_KEY}" "VersionMinor" "${VERSION_MINOR}"
  !insertmacro RecordString "${UNINSTALL_KEY}" "Publisher" "Oxbeck"
  !insertmacro RecordString "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
  !insertmacro RecordString "${UNINSTALL_KEY}" "HelpLink" "${WEBSITE}"
  !insertmacro RecordString "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_EXE}"
  !insertmacro RecordString "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; The day of the install, as the list of installed programs reads it: YYYYMMDD.
  ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
  !insertmacro RecordString "${UNINSTALL_KEY}" "InstallDate" "$2$1$0"
  !insertmacro RecordString "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  !insertmacro RecordString "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  !insertmacro RecordNumber "${UNINSTALL_KEY}" "NoModify" 1
  !insertmacro RecordNumber "${UNINSTALL_KEY}" "NoRepair" 1
  ; The size the list of installed programs shows, in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  !insertmacro RecordNumber "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The models of other scripts and languages, each a component of its own; the program uses
; whichever are in tessdata\.
!insertmacro LarkspanModelSections

; Last, so that the list of installed programs shows the size with the models chosen.
Section "-Size with the models"
  !insertmacro UseProgramViews
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  !insertmacro RecordNumber "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  !insertmacro UseProgramViews
  Call un.RefuseWhileRunning
FunctionEnd

Section "Uninstall"
  !insertmacro UseProgramViews
  Call un.RefuseWhileRunning
  ClearErrors
  !insertmacro LarkspanRemoveFiles
  !insertmacro LarkspanRemoveModels
  ${If} ${Errors}
    ; A file is held by someone: the record and the entry stay, so that the removal can be
    ; finished later.
    MessageBox MB_OK|MB_ICONSTOP \
      "Some of ${PRODUCT}'s files in $INSTDIR are in use and could not be removed.$\r$\n$\r$\nClose every program that uses them, then uninstall ${PRODUCT} again." \
      /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  !insertmacro LarkspanRemoveFolders
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${RECORD_KEY}"
  ; The vendor key may hold the record of another Oxbeck program.
  DeleteRegKey /ifempty HKLM "Software\Oxbeck"
  ; Last: while it is there, uninstall.exe takes the program for installed and stays too.
  Delete "$INSTDIR\uninstall.dat"
  ; Only when empty (uninstall.exe, which started this, removes it): files the user put there
  ; stay.
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
SectionEnd
