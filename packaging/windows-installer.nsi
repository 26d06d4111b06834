; The Windows installer: per machine, 64-bit, silent with /S. scripts/windows-installer.sh builds
; it with -DVERSION=x.y.z, -DSTAGE=<the staged release folder>, -DOUTFILE=<the installer>,
; -DPATH_HELPER=<fxaa-path.exe>, -DCOMPANY and -DCOPYRIGHT (from the version header), and writes
; files.nsh beside a copy of this script: the install and uninstall lines of every staged file
; (the program folder's tree, and the OpenFX bundle's), so each file installed is removed by name
; and nothing else.
;
; What goes where:
;   $PROGRAMFILES64\Corvella\FXAA       fxaa.exe with its FXAA.aex, frei0r\, docs\, licences\,
;                                       install.log, uninstall.exe
;   <each After Effects version's PluginInstallPath>\Corvella\FXAA.aex
;   $COMMONFILES64\OFX\Plugins\FXAA.ofx.bundle
; Not After Effects' common MediaCore folder: Premiere Pro loads that one as well, and it does not
; run smart-rendering effects.
;
; Switches: /S silent; /ADDTOPATH the program folder on the system PATH; /NOAFTEREFFECTS and
; /NOOPENFX leave out the After Effects plug-in and the OpenFX bundle; /D=<folder>, last.
;
; The system PATH is edited by fxaa-path.exe (installer/path_entry.cpp), carried inside the
; installer and the uninstaller: it reads and writes the value whole, where this script's strings
; hold 1,024 characters at most.
;
; Where no After Effects version is installed, FXAA.aex is placed in no host folder and the
; component cannot be chosen: After Effects registers every version it installs, so a folder
; picked by hand would be a guess, and a wrong one fails silently. The pages, standard output and
; install.log say where to copy it once After Effects is there.

Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION | OUTFILE | STAGE | PATH_HELPER | COMPANY | COPYRIGHT
  !error "build with scripts/windows-installer.sh (VERSION, OUTFILE, STAGE, PATH_HELPER, COMPANY or COPYRIGHT is not defined)"
!endif

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvella FXAA"
!define AE_KEY "SOFTWARE\Adobe\After Effects"
!define AE_PLUGIN_TAIL "\Support Files\Plug-ins"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include files.nsh

!ifndef HAVE_OFX_BUNDLE
  !error "no OpenFX bundle was staged (build-windows/openfx/FXAA.ofx.bundle is missing)"
!endif

Name "FXAA ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Corvella\FXAA"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${COMPANY} FXAA ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "FXAA"
VIAddVersionKey CompanyName "${COMPANY}"
VIAddVersionKey FileDescription "FXAA ${VERSION} setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "${COPYRIGHT}"

Var Log          ; install.log, open while the sections run
Var AeCount      ; After Effects versions found whose plug-in folder is there
Var AeFound      ; their names, for the components page
Var AeSkipped    ; the versions left out and why, for the components page
Var AeUsed       ; folders FXAA.aex went into
Var ComponentsTop
Var FinishText   ; the last page: where each piece went
Var FinishFull   ; 1 once the last page's text holds no more
Var PathWasOurs  ; 1 when the install this one replaces had added the program folder to the PATH

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_COMPONENTSPAGE_TEXT_TOP "$ComponentsTop"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "FXAA ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_TEXT_LARGE
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Writes the text on the stack to the file handle on the stack (below it) as UTF-8.
!macro WriteUtf8Function un
Function ${un}WriteUtf8
  Exch $0   ; text
  Exch
  Exch $1   ; handle
  Push $2
  Push $3
  System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p 0, i 0, p 0, p 0) i .r2'
  ${If} $2 > 1
    System::Alloc $2
    Pop $3
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p r3, i r2, p 0, p 0) i .r2'
    IntOp $2 $2 - 1   ; not the terminator
    System::Call 'kernel32::WriteFile(p r1, p r3, i r2, *i 0, p 0)'
    System::Free $3
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro WriteUtf8Function ""
!insertmacro WriteUtf8Function "un."

; Writes the line on the stack to standard output. The installer is a GUI program: it has one
; only where its caller redirected one (written as UTF-8), or through the console of the caller,
; which it attaches to (written as UTF-16, so any name shows whatever the console's code page).
!macro WriteStdoutFunction un
Function ${un}WriteStdout
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
      System::Call 'kernel32::CreateFileW(w "CONOUT$$", i 0xC0000000, i 2, p 0, i 3, i 0, p 0) p.r1'
      StrCpy $3 1
    ${EndIf}
  ${EndIf}
  ${If} $1 <> 0
  ${AndIf} $1 <> -1
    StrCpy $0 "$0$\r$\n"
    System::Call 'kernel32::GetConsoleMode(p r1, *i .r2) i.r2'
    ${If} $2 <> 0
      StrLen $2 $0
      System::Call 'kernel32::WriteConsoleW(p r1, w r0, i r2, *i 0, p 0)'
    ${Else}
      Push $1
      Push $0
      Call ${un}WriteUtf8
    ${EndIf}
    ${If} $3 = 1
      System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro WriteStdoutFunction ""
!insertmacro WriteStdoutFunction "un."

; Writes one line to install.log (UTF-8) and the details list; a silent install also writes it to
; standard output, so the script or deployment tool that ran it sees why.
Function Report
  Exch $0
  DetailPrint "$0"
  ${If} $Log != ""
    Push $Log
    Push "$0$\r$\n"
    Call WriteUtf8
  ${EndIf}
  ${If} ${Silent}
    Push $0
    Call WriteStdout
  ${EndIf}
  Pop $0
FunctionEnd

; The uninstaller's: the details list, and standard output when silent.
Function un.Report
  Exch $0
  DetailPrint "$0"
  ${If} ${Silent}
    Push $0
    Call un.WriteStdout
  ${EndIf}
  Pop $0
FunctionEnd

; Adds the line on the stack to the last page; past what the page shows, a last line sends the
; reader to install.log instead.
Function FinishLine
  Exch $0
  Push $1
  StrLen $1 "$FinishText$0"
  ${If} $FinishFull == 1
  ${ElseIf} $1 < 800
    StrCpy $FinishText "$FinishText$0$\r$\n"
  ${Else}
    StrCpy $FinishText "$FinishText(More in install.log.)$\r$\n"
    StrCpy $FinishFull 1
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; $R0: an index into After Effects' registry key. Returns in $R1 the version key's name ("" past
; the last), in $R4 the version's name (its installation folder's, "After Effects 2024", or the
; key's), in $R2 its plug-in folder, and in $R3 why it is left out, or "" when it is not (a
; version removed without cleaning the registry has no folder any more: none is created).
Function AeVersionAt
  StrCpy $R2 ""
  StrCpy $R3 ""
  EnumRegKey $R1 HKLM "${AE_KEY}" $R0
  ${If} $R1 == ""
    Return
  ${EndIf}
  StrCpy $R4 "After Effects $R1"
  ReadRegStr $R2 HKLM "${AE_KEY}\$R1" "PluginInstallPath"
  StrCpy $R3 $R2 1 -1
  ${IfThen} $R3 == "\" ${|} StrCpy $R2 $R2 -1 ${|}
  StrLen $R3 "${AE_PLUGIN_TAIL}"
  StrCpy $R5 $R2 "" -$R3
  ${If} $R5 == "${AE_PLUGIN_TAIL}"   ; NSIS compares case aside
    StrCpy $R5 $R2 -$R3
    ${GetFileName} $R5 $R5
    StrCpy $R6 $R5 6
    ${IfThen} $R6 == "Adobe " ${|} StrCpy $R5 $R5 "" 6 ${|}
    ${IfThen} $R5 != "" ${|} StrCpy $R4 $R5 ${|}
  ${EndIf}
  StrCpy $R3 ""
  ${If} $R2 == ""
    StrCpy $R3 "its registry key names no plug-in folder (PluginInstallPath)"
  ${ElseIfNot} ${FileExists} "$R2\*.*"
    StrCpy $R3 "its plug-in folder $R2 does not exist (After Effects was removed, or moved)"
  ${EndIf}
FunctionEnd

; Counts and names the versions found, and the ones left out, for the components page.
Function ScanAfterEffects
  StrCpy $AeCount 0
  StrCpy $AeFound ""
  StrCpy $AeSkipped ""
  StrCpy $R0 0
  ${Do}
    Call AeVersionAt
    ${IfThen} $R1 == "" ${|} ${ExitDo} ${|}
    ${If} $R3 == ""
      IntOp $AeCount $AeCount + 1
      ${If} $AeFound == ""
        StrCpy $AeFound $R4
      ${Else}
        StrCpy $AeFound "$AeFound, $R4"
      ${EndIf}
    ${ElseIf} $AeSkipped == ""
      StrCpy $AeSkipped $R4
    ${Else}
      StrCpy $AeSkipped "$AeSkipped, $R4"
    ${EndIf}
    IntOp $R0 $R0 + 1
  ${Loop}
FunctionEnd

; Where FXAA.aex can go by hand, for the lines that say it was not placed.
!define AE_BY_HAND "copy FXAA.aex from the program folder into a Corvella folder inside After Effects' Support Files\Plug-ins folder"

; Installs FXAA.aex into the folder on the stack and records the folder for the uninstaller.
Function InstallAex
  Exch $0
  SetOutPath "$0"
  File "${STAGE}/FXAA.aex"
  WriteRegStr HKLM "${UNINST_KEY}" "AfterEffectsFolder$AeUsed" "$0"
  IntOp $AeUsed $AeUsed + 1
  Pop $0
FunctionEnd

; Reports each version left out, and why; with $R9 = 1 also places FXAA.aex in the others.
Function PlaceInAfterEffects
  StrCpy $R0 0
  ${Do}
    Call AeVersionAt
    ${IfThen} $R1 == "" ${|} ${ExitDo} ${|}
    ${If} $R3 != ""
      Push "$R4 was skipped: $R3."
      Call Report
    ${ElseIf} $R9 = 1
      Push "$R2\Corvella"
      Call InstallAex
      Push "$R4: $R2\Corvella\FXAA.aex"
      Call Report
      Push "$R4: $R2\Corvella\FXAA.aex"
      Call FinishLine
    ${EndIf}
    IntOp $R0 $R0 + 1
  ${Loop}
FunctionEnd

; An earlier install (this version or another) is removed by its own uninstaller first, so its
; files, its After Effects folders and its PATH entry go, and one Uninstall entry remains. Its PATH
; entry is taken out here first: the uninstallers of versions before fxaa-path.exe cut a PATH
; longer than their strings.
Function RemoveEarlierInstall
  ReadRegStr $3 HKLM "${UNINST_KEY}" "PathEntry"
  ${If} $3 != ""
    Push 'remove "$3"'
    Call RunPathHelper
    ${If} $0 != 0
    ${AndIf} $0 != 1
      DetailPrint "The earlier install's PATH entry stays: $1"
    ${EndIf}
    DeleteRegValue HKLM "${UNINST_KEY}" "PathEntry"
  ${EndIf}
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

; Runs fxaa-path.exe with the command on the stack ("add FOLDER" or "remove FOLDER"). Returns its
; exit code in $0 (0 done, 1 nothing to do, else the PATH stayed as it was) and in $1 why, when
; it could not.
!macro RunPathHelperFunction un
Function ${un}RunPathHelper
  Exch $2
  InitPluginsDir
  File "/oname=$PLUGINSDIR\fxaa-path.exe" "${PATH_HELPER}"
  nsExec::ExecToStack '"$PLUGINSDIR\fxaa-path.exe" $2'
  Pop $0
  Pop $1
  ; One line of ASCII: without its line end.
  ${Do}
    StrCpy $2 $1 1 -1
    ${If} $2 == "$\n"
    ${OrIf} $2 == "$\r"
      StrCpy $1 $1 -1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  ${If} $1 == ""
    StrCpy $1 "the PATH editor did not run ($0)"
  ${EndIf}
  Pop $2
FunctionEnd
!macroend
!insertmacro RunPathHelperFunction ""
!insertmacro RunPathHelperFunction "un."

Section "FXAA tool, frei0r filter and guides" SecProgram
  SectionIn RO
  Call RemoveEarlierInstall
  !insertmacro InstallProgramFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  FileOpen $Log "$INSTDIR\install.log" w
  Push "FXAA ${VERSION} installed in $INSTDIR"
  Call Report
  Push "Tool, frei0r filter and guides: $INSTDIR"
  Call FinishLine
SectionEnd

Section "After Effects plug-in" SecAe
  StrCpy $R9 1
  Call PlaceInAfterEffects
SectionEnd

; Why FXAA.aex went into no After Effects folder, when it did not.
Section "-After Effects not placed"
  ${IfNot} ${SectionIsSelected} ${SecAe}
    ${If} $AeCount = 0
      StrCpy $R9 0
      Call PlaceInAfterEffects   ; the versions skipped, each with why
      Push "No After Effects version was found (none with a plug-in folder registered under HKLM\${AE_KEY}): FXAA.aex was not placed in an After Effects plug-in folder. Once After Effects is installed, run this installer again, or ${AE_BY_HAND}."
    ${Else}
      Push "The After Effects plug-in was left out, as asked: FXAA.aex was not placed in After Effects ($AeFound). To add it later, run this installer again, or ${AE_BY_HAND}."
    ${EndIf}
    Call Report
    ${If} $AeCount = 0
      Push "After Effects was not found, so FXAA.aex stays in the program folder. Once After Effects is installed, run this installer again, or ${AE_BY_HAND}."
    ${Else}
      Push "FXAA.aex was not placed in After Effects, as asked. To add it later, run this installer again, or ${AE_BY_HAND}."
    ${EndIf}
    Call FinishLine
  ${EndIf}
SectionEnd

Section "OpenFX plug-in" SecOfx
  !insertmacro InstallOfxBundle
  Push "OpenFX plug-in: $COMMONFILES64\OFX\Plugins\FXAA.ofx.bundle"
  Call Report
  Push "OpenFX plug-in: $COMMONFILES64\OFX\Plugins\FXAA.ofx.bundle"
  Call FinishLine
SectionEnd

Section /o "Add the program folder to the system PATH" SecPath
  Push 'add "$INSTDIR"'
  Call RunPathHelper
  ${If} $0 == 0
    WriteRegStr HKLM "${UNINST_KEY}" "PathEntry" "$INSTDIR"
    StrCpy $2 "Added $INSTDIR to the system PATH (for command prompts opened from now on)."
  ${ElseIf} $0 == 1
    ; Still there from the install this one replaced (which could not take it out): still ours.
    ${IfThen} $PathWasOurs == 1 ${|} WriteRegStr HKLM "${UNINST_KEY}" "PathEntry" "$INSTDIR" ${|}
    StrCpy $2 "$INSTDIR is already on the system PATH."
  ${Else}
    StrCpy $2 "The system PATH was left unchanged: $1. Add $INSTDIR to it by hand."
  ${EndIf}
  Push $2
  Call Report
  Push $2
  Call FinishLine
SectionEnd

Section "-Register"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${GetSize} "$INSTDIR" "/M=FXAA.aex /S=0K /G=0" $1 $2 $3
  IntOp $1 $1 * $AeUsed
  IntOp $0 $0 + $1
  ${If} ${SectionIsSelected} ${SecOfx}
    ${GetSize} "$COMMONFILES64\OFX\Plugins\FXAA.ofx.bundle" "/S=0K" $1 $2 $3
    IntOp $0 $0 + $1
  ${EndIf}
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "FXAA ${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ; Hosts load plug-ins when they start.
  StrCpy $1 ""
  ${If} ${SectionIsSelected} ${SecOfx}
    StrCpy $1 "Restart any OpenFX host that is running: hosts load plug-ins when they start."
    ${IfThen} $AeUsed > 0 ${|} StrCpy $1 "Restart After Effects and any OpenFX host that is running: hosts load plug-ins when they start." ${|}
  ${ElseIf} $AeUsed > 0
    StrCpy $1 "Restart After Effects if it is running: it loads plug-ins when it starts."
  ${EndIf}
  ${If} $1 != ""
    Push $1
    Call Report
    Push "$\r$\n$1"
    Call FinishLine
  ${EndIf}
  Push "install.log in the program folder lists every step."
  Call FinishLine
  FileClose $Log
  StrCpy $Log ""
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "fxaa.exe (with its own FXAA.aex), the frei0r filter for Shotcut and Kdenlive with their descriptions, the guides and the licence notices, in the program folder."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecAe} "FXAA.aex in a Corvella folder inside the plug-in folder of each After Effects version found."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecOfx} "FXAA.ofx.bundle in Common Files\OFX\Plugins, for OpenFX hosts (DaVinci Resolve, Natron, Nuke, Vegas)."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Lets a command prompt run fxaa from any folder."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Below the sections, whose indexes these use.
Function .onInit
  SetRegView 64
  SetShellVarContext all
  StrCpy $AeUsed 0
  Call ScanAfterEffects
  ${If} $AeCount = 0
    ; Nothing to place it in: shown, unticked, and not to be ticked.
    SectionSetText ${SecAe} "After Effects plug-in (After Effects not found)"
    SectionSetFlags ${SecAe} ${SF_RO}
    StrCpy $ComponentsTop "No After Effects version was found, so FXAA.aex is placed in none: it stays in the program folder. Once After Effects is installed, run this installer again, or ${AE_BY_HAND}."
  ${Else}
    ${If} $AeCount = 1
      SectionSetText ${SecAe} "After Effects plug-in (1 version found)"
    ${Else}
      SectionSetText ${SecAe} "After Effects plug-in ($AeCount versions found)"
    ${EndIf}
    StrCpy $ComponentsTop "After Effects found: $AeFound."
  ${EndIf}
  ${If} $AeSkipped != ""
    StrCpy $ComponentsTop "$ComponentsTop Skipped, having no plug-in folder: $AeSkipped."
  ${EndIf}

  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOAFTEREFFECTS" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecAe}
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/NOOPENFX" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecOfx}
  ${EndIf}
  ; PATH: asked for on the command line, or kept from the install this one replaces.
  ClearErrors
  ${GetOptions} $0 "/ADDTOPATH" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
  StrCpy $PathWasOurs 0
  ReadRegStr $2 HKLM "${UNINST_KEY}" "PathEntry"
  ${If} $2 != ""
    !insertmacro SelectSection ${SecPath}
    StrCpy $PathWasOurs 1
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

  !insertmacro UninstallOfxBundle
  RMDir "$COMMONFILES64\OFX\Plugins"
  RMDir "$COMMONFILES64\OFX"

  ReadRegStr $3 HKLM "${UNINST_KEY}" "PathEntry"
  ${If} $3 != ""
    Push 'remove "$3"'
    Call un.RunPathHelper
    ${If} $0 == 0
      Push "Removed $3 from the system PATH"
      Call un.Report
    ${ElseIf} $0 == 1
      Push "$3 was no longer on the system PATH"
      Call un.Report
    ${Else}
      Push "The system PATH was not changed: $1. Remove $3 from it by hand."
      Call un.Report
      MessageBox MB_OK|MB_ICONEXCLAMATION "The system PATH was not changed: $1.$\r$\n$\r$\nRemove $3 from it by hand (System Properties, Environment Variables)." /SD IDOK
    ${EndIf}
  ${EndIf}

  !insertmacro UninstallProgramFiles
  Delete "$INSTDIR\install.log"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  RMDir "$PROGRAMFILES64\Corvella"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
