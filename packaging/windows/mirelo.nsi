; The Windows x64 installer of Mirelo. build.sh calls
;   makensis -DVERSION=x.y.z -DSTAGE=<deployed folder> -DOUTFILE=<setup.exe> -DUNINSTALL_LIST=<nsh> mirelo.nsi
; STAGE holds everything that goes beside mirelo.exe (Qt, runtime, tables, icon); UNINSTALL_LIST names
; exactly those files, so that the uninstaller never removes anything it did not put there.
Unicode true
; A 64-bit installer: it runs where the program runs and writes to the 64-bit Program Files and registry.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Mirelo"
!define APP_KEY "Software\Mirelo"

Name "Mirelo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Mirelo"
InstallDirRegKey HKLM "${APP_KEY}" "InstallDir"
RequestExecutionLevel admin
BrandingText "Mirelo ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Mirelo"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Mirelo installer"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Mirelo developers"

!define MUI_ICON "${STAGE}\mirelo.ico"
!define MUI_UNICON "${STAGE}\mirelo.ico"
!define MUI_ABORTWARNING
; The language chosen at install time is kept for the uninstaller.
!define MUI_LANGDLL_REGISTRY_ROOT HKLM
!define MUI_LANGDLL_REGISTRY_KEY "${APP_KEY}"
!define MUI_LANGDLL_REGISTRY_VALUENAME "InstallerLanguage"
!define MUI_FINISHPAGE_RUN "$INSTDIR\mirelo.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the default; the choice is offered at start (not in a silent install).
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_RESERVEFILE_LANGDLL

LangString UninstallLinkName ${LANG_JAPANESE} "Mirelo のアンインストール"
LangString UninstallLinkName ${LANG_ENGLISH} "Uninstall Mirelo"

Function .onInit
  SetShellVarContext all
  SetRegView 64
  !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

Section "Mirelo" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Mirelo"
  ; The shortcut starts the program in the Documents folder of whoever starts it: "Data save" writes
  ; into the working folder, and Program Files is not writable for users. Not the public Documents
  ; folder ($DOCUMENTS of this all-users install): every local user can write there, and a table
  ; file put there would be read before the installed one. The working folder of a shortcut is the
  ; output folder when it is made; it is set here as text, unexpanded, for Windows to expand for the
  ; user at each start (SetOutPath would expand it now and create it).
  StrCpy $OUTDIR "%USERPROFILE%\Documents"
  CreateShortcut "$SMPROGRAMS\Mirelo\Mirelo.lnk" "$INSTDIR\mirelo.exe" "" "$INSTDIR\mirelo.ico" 0
  SetOutPath "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\Mirelo\$(UninstallLinkName).lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${APP_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Mirelo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Mirelo developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\mirelo.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
  !insertmacro MUI_UNGETLANGUAGE
FunctionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\Mirelo\Mirelo.lnk"
  ; Both names: the uninstaller may run in another language than the installer did.
  Delete "$SMPROGRAMS\Mirelo\Mirelo のアンインストール.lnk"
  Delete "$SMPROGRAMS\Mirelo\Uninstall Mirelo.lnk"
  RMDir "$SMPROGRAMS\Mirelo"

  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  ; Only removed when empty: files the user put there stay.
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${APP_KEY}"
SectionEnd
