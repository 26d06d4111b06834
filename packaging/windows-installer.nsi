; The Windows installer: per machine, 64-bit, silent with /S. scripts/windows-installer.sh builds
; it with -DVERSION=x.y.z, -DSTAGE=<the staged release folder> and -DOUTFILE=<the installer>, and
; writes files.nsh beside a copy of this script: the install and uninstall lines of every staged
; file (the program folder's tree, and the OpenFX bundle's when the build made one), so each file
; installed is removed by name and nothing else.
;
; What goes where:
;   $PROGRAMFILES64\Corvella\FXAA       fxaa.exe with its FXAA.aex, frei0r\, docs\, licences\,
;                                       install.log, uninstall.exe
;   <each After Effects version's PluginInstallPath>\Corvella\FXAA.aex
;   $COMMONFILES64\OFX\Plugins\FXAA.ofx.bundle
; Not After Effects' common MediaCore folder: Premiere Pro loads that one as well, and it does not
; run smart-rendering effects.

Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION | OUTFILE | STAGE
  !error "build with scripts/windows-installer.sh (VERSION, OUTFILE or STAGE is not defined)"
!endif

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvella FXAA"
!define AE_KEY "SOFTWARE\Adobe\After Effects"
!define ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include files.nsh

!ifndef HAVE_OFX_BUNDLE
  !error "no OpenFX bundle was staged (build-windows/openfx/FXAA.ofx.bundle is missing)"
!endif

Name "FXAA ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Corvella\FXAA"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "Corvella FXAA ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "FXAA"
VIAddVersionKey CompanyName "Corvella"
VIAddVersionKey FileDescription "FXAA ${VERSION} setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "Corvella"

Var Log          ; install.log, open while the sections run
Var AeCount      ; After Effects versions found in the registry
Var AeFolder     ; a plug-in folder chosen on the page shown when none was found
Var AeUsed       ; folders FXAA.aex went into

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_CUSTOMFUNCTION_PRE AeFolderPagePre
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE AeFolderPageLeave
!define MUI_PAGE_HEADER_TEXT "After Effects was not found"
!define MUI_PAGE_HEADER_SUBTEXT "Choose where the After Effects plug-in goes."
!define MUI_DIRECTORYPAGE_TEXT_TOP "No installed After Effects version is registered on this computer. Choose the folder After Effects loads plug-ins from (Support Files\Plug-ins in its installation folder); FXAA.aex goes into a Corvella folder inside it. To install without it, go Back and clear $\"After Effects plug-in$\"."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "After Effects plug-in folder"
!define MUI_DIRECTORYPAGE_VARIABLE $AeFolder
!define MUI_DIRECTORYPAGE_VERIFYONLEAVE
!insertmacro MUI_PAGE_DIRECTORY

!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Writes one line to install.log and the details list; a silent install also writes it to
; standard output, so the script or deployment tool that ran it sees why.
Function Report
  Exch $0
  DetailPrint "$0"
  FileWrite $Log "$0$\r$\n"
  ${If} ${Silent}
    Push $0
    Call WriteStdout
  ${EndIf}
  Pop $0
FunctionEnd

; The installer is a GUI program: it has a standard output only where its caller redirected one,
; or through the console of the caller, which it attaches to.
Function WriteStdout
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $3 0
  System::Call 'kernel32::GetStdHandle(i -11) p.r1'
  ${If} $1 = 0
  ${OrIf} $1 = -1
    System::Call 'kernel32::AttachConsole(i -1) i.r2'
    ${If} $2 <> 0
      System::Call 'kernel32::CreateFileW(w "CONOUT$$", i 0x40000000, i 2, p 0, i 3, i 0, p 0) p.r1'
      StrCpy $3 1
    ${EndIf}
  ${EndIf}
  ${If} $1 <> 0
  ${AndIf} $1 <> -1
    StrCpy $0 "$0$\r$\n"
    StrLen $2 $0
    System::Call 'kernel32::WriteFile(p r1, m r0, i r2, *i 0, p 0)'
    ${If} $3 = 1
      System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; $R0: an index into After Effects' registry key. Returns in $R1 the version key's name ("" past
; the last), in $R2 its plug-in folder, or "" where the version names none or the folder is gone
; (a version removed without cleaning the registry): such a folder is not created.
Function AeFolderAt
  StrCpy $R2 ""
  EnumRegKey $R1 HKLM "${AE_KEY}" $R0
  ${If} $R1 != ""
    ReadRegStr $R2 HKLM "${AE_KEY}\$R1" "PluginInstallPath"
    ${If} $R2 != ""
      StrCpy $R3 $R2 1 -1
      ${IfThen} $R3 == "\" ${|} StrCpy $R2 $R2 -1 ${|}
    ${EndIf}
    ${If} $R2 == ""
    ${OrIfNot} ${FileExists} "$R2\*.*"
      StrCpy $R2 ""
    ${EndIf}
  ${EndIf}
FunctionEnd

; Installs FXAA.aex into the folder on the stack and records the folder for the uninstaller.
Function InstallAex
  Exch $0
  SetOutPath "$0"
  File "${STAGE}/FXAA.aex"
  WriteRegStr HKLM "${UNINST_KEY}" "AfterEffectsFolder$AeUsed" "$0"
  IntOp $AeUsed $AeUsed + 1
  Pop $0
FunctionEnd

; $0: the system PATH, $1: a folder. Returns in $2 the PATH without the elements naming that
; folder (case aside, with or without a final backslash), every other element kept as it was.
!macro PathWithoutFunction un
Function ${un}PathWithout
  StrCpy $2 ""
  StrCpy $3 ""
  StrCpy $4 0
  StrCpy $6 0   ; elements kept
  ${Do}
    StrCpy $5 $0 1 $4
    ${If} $5 == ";"
    ${OrIf} $5 == ""
      ${If} $3 != $1
      ${AndIf} $3 != "$1\"
        ${If} $6 = 0
          StrCpy $2 $3
        ${Else}
          StrCpy $2 "$2;$3"
        ${EndIf}
        IntOp $6 $6 + 1
      ${EndIf}
      ${IfThen} $5 == "" ${|} ${ExitDo} ${|}
      StrCpy $3 ""
    ${Else}
      StrCpy $3 "$3$5"
    ${EndIf}
    IntOp $4 $4 + 1
  ${Loop}
FunctionEnd
!macroend
!insertmacro PathWithoutFunction ""
!insertmacro PathWithoutFunction "un."

; An earlier install (this version or another) is removed by its own uninstaller first, so its
; files, its After Effects folders and its PATH entry go, and one Uninstall entry remains.
Function RemoveEarlierInstall
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\uninstall.exe"
    DetailPrint "Removing the installed version from $0"
    ExecWait '"$0\uninstall.exe" /S _?=$0' $1
    ${If} $1 <> 0
      DetailPrint "Its uninstaller ended with $1"
    ${EndIf}
    Delete "$0\uninstall.exe"
    RMDir "$0"
  ${EndIf}
FunctionEnd

Section "FXAA tool, frei0r filter and guides" SecProgram
  SectionIn RO
  Call RemoveEarlierInstall
  !insertmacro InstallProgramFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  FileOpen $Log "$INSTDIR\install.log" w
  Push "FXAA ${VERSION} installed in $INSTDIR"
  Call Report
SectionEnd

Section "After Effects plug-in" SecAe
  StrCpy $AeUsed 0
  StrCpy $R0 0
  ${Do}
    Call AeFolderAt
    ${IfThen} $R1 == "" ${|} ${ExitDo} ${|}
    ${If} $R2 != ""
      Push "$R2\Corvella"
      Call InstallAex
      Push "After Effects $R1: $R2\Corvella\FXAA.aex"
      Call Report
    ${EndIf}
    IntOp $R0 $R0 + 1
  ${Loop}
  ${If} $AeUsed = 0
  ${AndIf} $AeFolder != ""
    Push "$AeFolder\Corvella"
    Call InstallAex
    Push "After Effects (folder chosen): $AeFolder\Corvella\FXAA.aex"
    Call Report
  ${EndIf}
  ${If} $AeUsed = 0
    Push "No After Effects version was found (none registered under HKLM\${AE_KEY}): FXAA.aex was not placed in an After Effects plug-in folder."
    Call Report
  ${EndIf}
SectionEnd

!ifdef HAVE_OFX_BUNDLE
Section "OpenFX plug-in" SecOfx
  !insertmacro InstallOfxBundle
  Push "OpenFX plug-in: $COMMONFILES64\OFX\Plugins\FXAA.ofx.bundle"
  Call Report
SectionEnd
!endif

Section /o "Add the program folder to the system PATH" SecPath
  ClearErrors
  ReadRegStr $0 HKLM "${ENV_KEY}" "Path"
  ; A PATH longer than the installer's strings fails to read (or would be cut short when
  ; written back): it is left alone rather than truncated.
  StrLen $3 "$0;$INSTDIR"
  ${If} ${Errors}
  ${OrIf} $3 >= ${NSIS_MAX_STRLEN}
    Push "The system PATH was left unchanged: it is too long for this installer to edit safely. Add $INSTDIR by hand."
    Call Report
  ${Else}
    StrCpy $1 "$INSTDIR"
    Call PathWithout
    ${If} $2 == $0
      ${If} $0 == ""
        StrCpy $0 "$INSTDIR"
      ${Else}
        StrCpy $0 "$0;$INSTDIR"
      ${EndIf}
      WriteRegExpandStr HKLM "${ENV_KEY}" "Path" "$0"
      WriteRegStr HKLM "${UNINST_KEY}" "PathEntry" "$INSTDIR"
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
      Push "Added $INSTDIR to the system PATH"
    ${Else}
      Push "$INSTDIR is already on the system PATH"
    ${EndIf}
    Call Report
  ${EndIf}
SectionEnd

Section "-Register"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${GetSize} "$INSTDIR" "/M=FXAA.aex /S=0K /G=0" $1 $2 $3
  IntOp $1 $1 * $AeUsed
  IntOp $0 $0 + $1
  !ifdef HAVE_OFX_BUNDLE
    ${If} ${SectionIsSelected} ${SecOfx}
      ${GetSize} "$COMMONFILES64\OFX\Plugins\FXAA.ofx.bundle" "/S=0K" $1 $2 $3
      IntOp $0 $0 + $1
    ${EndIf}
  !endif
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "FXAA ${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Corvella"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  FileClose $Log
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "fxaa.exe (with its own FXAA.aex), the frei0r filter for Shotcut and Kdenlive with their descriptions, the guides and the licence notices, in the program folder."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecAe} "FXAA.aex in a Corvella folder inside the plug-in folder of every installed After Effects version."
  !ifdef HAVE_OFX_BUNDLE
    !insertmacro MUI_DESCRIPTION_TEXT ${SecOfx} "FXAA.ofx.bundle in Common Files\OFX\Plugins, for OpenFX hosts."
  !endif
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Lets a command prompt run fxaa from any folder."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Below the sections, whose indexes these use.
Function .onInit
  SetRegView 64
  SetShellVarContext all
  StrCpy $AeCount 0
  StrCpy $R0 0
  ${Do}
    Call AeFolderAt
    ${IfThen} $R1 == "" ${|} ${ExitDo} ${|}
    ${IfThen} $R2 != "" ${|} IntOp $AeCount $AeCount + 1 ${|}
    IntOp $R0 $R0 + 1
  ${Loop}
  ${If} $AeCount = 0
    SectionSetText ${SecAe} "After Effects plug-in (no version found)"
  ${Else}
    SectionSetText ${SecAe} "After Effects plug-in ($AeCount versions found)"
  ${EndIf}
  ; PATH: asked for on the command line, or kept from the install this one replaces.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ADDTOPATH" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
  ReadRegStr $2 HKLM "${UNINST_KEY}" "PathEntry"
  ${If} $2 != ""
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

Function AeFolderPagePre
  ${If} $AeCount > 0
  ${OrIfNot} ${SectionIsSelected} ${SecAe}
    Abort
  ${EndIf}
  ${If} $AeFolder == ""
    StrCpy $AeFolder "$PROGRAMFILES64"
    ${IfThen} ${FileExists} "$PROGRAMFILES64\Adobe\*.*" ${|} StrCpy $AeFolder "$PROGRAMFILES64\Adobe" ${|}
  ${EndIf}
FunctionEnd

Function AeFolderPageLeave
  ${If} $AeFolder == ""
  ${OrIfNot} ${FileExists} "$AeFolder\*.*"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$AeFolder does not exist. Choose the plug-in folder of an installed After Effects."
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  ; FXAA.aex in each folder the install used; a Corvella folder goes only when empty.
  StrCpy $0 0
  ${Do}
    ReadRegStr $1 HKLM "${UNINST_KEY}" "AfterEffectsFolder$0"
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    Delete "$1\FXAA.aex"
    RMDir "$1"
    IntOp $0 $0 + 1
  ${Loop}

  !ifdef HAVE_OFX_BUNDLE
    !insertmacro UninstallOfxBundle
  !endif
  RMDir "$COMMONFILES64\OFX\Plugins"
  RMDir "$COMMONFILES64\OFX"

  ReadRegStr $1 HKLM "${UNINST_KEY}" "PathEntry"
  ${If} $1 != ""
    ClearErrors
    ReadRegStr $0 HKLM "${ENV_KEY}" "Path"
    ${IfNot} ${Errors}
      Call un.PathWithout
      ${If} $2 != $0
        WriteRegExpandStr HKLM "${ENV_KEY}" "Path" "$2"
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
      ${EndIf}
    ${Else}
      DetailPrint "The system PATH could not be read: remove $1 from it by hand."
    ${EndIf}
  ${EndIf}

  !insertmacro UninstallProgramFiles
  Delete "$INSTDIR\install.log"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Corvella"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
