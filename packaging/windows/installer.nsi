; Installer for Larkspan on 64-bit Windows. The program folder's contents come from a payload
; folder given at build time: a stripped installation of a Windows build (the build target
; larkspan_setup, cmake/WindowsRuntime.cmake, makes both; scripts/windows/build-installer.sh the
; one that ships). Built with Debian's NSIS:
;
;   makensis -DPAYLOAD_DIR=<folder> -DVERSION=1.3 -DWEBSITE=http://larkspan.example/ \
;            -DOUTFILE=<Setup.exe> packaging/windows/installer.nsi
;
; Installs the payload into "Program Files\Larkspan", writes the installation record the
; program reads at start (HKLM\Software\Oxbeck\Larkspan, string values Version and Website), a
; Start-menu entry and an entry in the list of installed programs, and an uninstaller that
; removes all of it. Both run silently with /S.

!ifndef PAYLOAD_DIR
  !error "PAYLOAD_DIR must name the folder whose files make up the program folder"
!endif
!ifndef VERSION
  !error "VERSION must give the version written into the installation record"
!endif
!ifndef WEBSITE
  !error "WEBSITE must give the web-site address written into the installation record"
!endif
!ifndef OUTFILE
  !define OUTFILE "Larkspan-${VERSION}-Setup.exe"
!endif
!ifndef PROGRAM_EXE
  !define PROGRAM_EXE "larkspan.exe"
!endif

!include "FileFunc.nsh"

!define PRODUCT "Larkspan"
!define RECORD_KEY "Software\Oxbeck\${PRODUCT}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

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

; The file lists are made from the payload folder, so that the uninstaller removes exactly the
; files the installer wrote.
!tempfile PAYLOAD_LISTS
!system 'sh "${__FILEDIR__}/payload-lists.sh" "${PAYLOAD_DIR}" "${PAYLOAD_LISTS}"' = 0
!include "${PAYLOAD_LISTS}"
!delfile "${PAYLOAD_LISTS}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The program is 64-bit and reads the 64-bit registry view; the record must land there even if
; this script is ever built as a 32-bit installer, whose writes would otherwise go to the
; 32-bit view (WOW6432Node).
!macro UseProgramViews
  SetRegView 64
  SetShellVarContext all
!macroend

Section "Install"
  !insertmacro UseProgramViews
  !insertmacro LarkspanInstallFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${RECORD_KEY}" "Version" "${VERSION}"
  WriteRegStr HKLM "${RECORD_KEY}" "Website" "${WEBSITE}"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${PROGRAM_EXE}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Oxbeck"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM_EXE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The size the list of installed programs shows, in KiB.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  !insertmacro UseProgramViews
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${RECORD_KEY}"
  ; The vendor key may hold the record of another Oxbeck program.
  DeleteRegKey /ifempty HKLM "Software\Oxbeck"

  !insertmacro LarkspanRemoveFiles
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: files the user put there stay.
  RMDir "$INSTDIR"
SectionEnd
