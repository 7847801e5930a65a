; The Windows installer: makensis -DVERSION=1.0.0 -DTOP=<the checkout> -DSOURCE=<the deployed
;   folder> -DOUTPUT=<folder of the setup> fernwick.nsi
;
; It installs the program under Program Files and makes a site folder (asked for, by default
; C:\ProgramData\KELDO-FERNWICK) with a sys.ini template only when the folder has none: a
; site's sys.ini, fernwick.db and log\ are never overwritten, and the uninstaller leaves them.
; The Start-menu shortcut starts the program in the site folder; the scheduled task, when
; chosen, runs "fernwick.exe --once" there every 15 minutes.
;
; Silent: fernwick-setup-<version>.exe /S [/SITE=<site folder>] [/TASK] [/D=<program folder>]
Unicode true
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WordFunc.nsh

!define PRODUCT "KELDO-FERNWICK"
!define TASK_NAME "KELDO-FERNWICK sync"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTPUT}\fernwick-setup-${VERSION}.exe"
InstallDir "$PROGRAMFILES\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Var SiteFolder

!define MUI_ICON "${TOP}/resources/fernwick.ico"
!define MUI_UNICON "${TOP}/resources/fernwick.ico"
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_DIRECTORYPAGE_VARIABLE $SiteFolder
!define MUI_PAGE_HEADER_TEXT "Site folder"
!define MUI_PAGE_HEADER_SUBTEXT "Where the site's sys.ini, fernwick.db and log folder live."
!define MUI_DIRECTORYPAGE_TEXT_TOP "fernwick works in this folder: it reads sys.ini there and writes fernwick.db and log\ there. A sys.ini template is written only when the folder has none."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"


Section "fernwick" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}/*.*"
  File "${TOP}/README.md"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SiteFolder"
  ${IfNot} ${FileExists} "$SiteFolder\sys.ini"
    SetOutPath "$SiteFolder"
    File "${TOP}/packaging/windows/sys.ini"
  ${EndIf}

  ; A shortcut starts in the folder that is current when it is made.
  SetOutPath "$SiteFolder"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\fernwick.exe" "" "$INSTDIR\fernwick.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\fernwick.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "SiteFolder" "$SiteFolder"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
SectionEnd

; Task Scheduler takes a task with a working folder only as XML, which it reads as UTF-16.
Section /o "Sync every 15 minutes (scheduled task)" SecTask
  ${WordReplace} "$INSTDIR\fernwick.exe" "&" "&amp;" "+" $R1
  ${WordReplace} "$SiteFolder" "&" "&amp;" "+" $R2
  InitPluginsDir
  FileOpen $0 "$PLUGINSDIR\task.xml" w
  FileWriteWord $0 0xFEFF
  FileWriteUTF16LE $0 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
  FileWriteUTF16LE $0 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
  FileWriteUTF16LE $0 '<RegistrationInfo><Description>Runs fernwick --once in the site folder.</Description></RegistrationInfo>$\r$\n'
  FileWriteUTF16LE $0 '<Triggers><TimeTrigger><StartBoundary>2020-01-01T00:00:00</StartBoundary>'
  FileWriteUTF16LE $0 '<Repetition><Interval>PT15M</Interval></Repetition></TimeTrigger></Triggers>$\r$\n'
  FileWriteUTF16LE $0 '<Principals><Principal id="Author"><UserId>S-1-5-18</UserId><RunLevel>HighestAvailable</RunLevel></Principal></Principals>$\r$\n'
  FileWriteUTF16LE $0 '<Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>'
  FileWriteUTF16LE $0 '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
  FileWriteUTF16LE $0 '<ExecutionTimeLimit>PT1H</ExecutionTimeLimit></Settings>$\r$\n'
  FileWriteUTF16LE $0 '<Actions Context="Author"><Exec><Command>$R1</Command><Arguments>--once</Arguments>'
  FileWriteUTF16LE $0 '<WorkingDirectory>$R2</WorkingDirectory></Exec></Actions>$\r$\n'
  FileWriteUTF16LE $0 '</Task>$\r$\n'
  FileClose $0
  nsExec::ExecToLog 'schtasks /Create /TN "${TASK_NAME}" /XML "$PLUGINSDIR\task.xml" /F'
  Pop $0
  ${If} $0 != 0
    DetailPrint "The scheduled task could not be registered (schtasks exit $0)"
    SetErrorLevel 2
  ${EndIf}
SectionEnd

Function .onInit
  SetShellVarContext all
  ; With the context of all users, $APPDATA is C:\ProgramData.
  StrCpy $SiteFolder "$APPDATA\${PRODUCT}"
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SITE=" $R1
  ${IfNot} ${Errors}
    StrCpy $SiteFolder $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/TASK" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecTask} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

LangString DESC_SecProgram ${LANG_ENGLISH} "The program, its Start-menu shortcut and the site folder."
LangString DESC_SecTask ${LANG_ENGLISH} "Runs fernwick --once in the site folder every 15 minutes, as the local system account."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_SecProgram)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecTask} $(DESC_SecTask)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  nsExec::ExecToLog 'schtasks /Delete /TN "${TASK_NAME}" /F'
  Pop $0
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  ; Only what the installer put there: the site folder may have been chosen inside this one.
  Delete "$INSTDIR\fernwick.exe"
  Delete "$INSTDIR\*.dll"
  Delete "$INSTDIR\qt.conf"
  Delete "$INSTDIR\README.md"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\sqldrivers"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
