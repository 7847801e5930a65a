; The Windows installer: makensis -DVERSION=<version> -DTOP=<the checkout> -DSOURCE=<the deployed
;   folder> -DSYSINI=<the sys.ini template, CR LF> -DOUTPUT=<folder of the setup> fernwick.nsi
;
; It installs the program under Program Files and makes a site folder (asked for, by default
; C:\ProgramData\KELDO-FERNWICK) with a sys.ini template only when the folder has none: a
; site's sys.ini, fernwick.db and log\ are never overwritten, and the uninstaller leaves them.
; The Start-menu shortcut starts the program in the site folder; the scheduled task, ticked
; unless /NOTASK is given, runs "fernwick.exe --once" there every 15 minutes.
;
; The site's users (the local Users group, or the group /USERS= names) may change every file in
; the site folder: the task runs as the local system account and the Start-menu window as
; whoever is logged on, and each must write what the other made. What the installer did, and
; the commands it ran, go to install.log in the program folder.
;
; Silent: fernwick-setup-<version>.exe /S [/SITE=<site folder>] [/USERS=<group>] [/NOTASK]
;   [/D=<program folder>]; "/SITE=C:\a b" quoted whole, as PowerShell passes it, is taken too.
Unicode true
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WordFunc.nsh

!define PRODUCT "KELDO-FERNWICK"
!define TASK_NAME "KELDO-FERNWICK sync"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The local Users group by its SID, which is the same in every language of Windows.
!define USERS_SID "*S-1-5-32-545"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTPUT}\fernwick-setup-${VERSION}.exe"
InstallDir "$PROGRAMFILES\${PRODUCT}"
RequestExecutionLevel admin
!ifdef SIGN
  ; The uninstaller is written inside the installer, so it is signed while that is made.
  !uninstfinalize '${SIGN} "%1"' = 0
!endif
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

Var SiteFolder
Var SiteUsers
Var InstallLog

!define MUI_ICON "${TOP}/resources/fernwick.ico"
!define MUI_UNICON "${TOP}/resources/fernwick.ico"
; The page's texts fit its one-line and two-line fields.
!define MUI_PAGE_HEADER_TEXT "Licences"
!define MUI_PAGE_HEADER_SUBTEXT "The components fernwick is built with; the same text is installed as LICENSES.txt beside fernwick.exe."
!define MUI_LICENSEPAGE_TEXT_TOP "The components and their licences:"
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Press Next to go on."
!insertmacro MUI_PAGE_LICENSE "${SOURCE}/LICENSES.txt"
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_DIRECTORYPAGE_VARIABLE $SiteFolder
!define MUI_PAGE_HEADER_TEXT "Site folder"
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Site folder"
!define MUI_PAGE_HEADER_SUBTEXT "Where the site's sys.ini, fernwick.db and log folder live."
!define MUI_DIRECTORYPAGE_TEXT_TOP "fernwick works in this folder: it reads sys.ini there and writes fernwick.db and log\ there. A sys.ini template is written only when the folder has none."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A line for the wizard's details and for install.log, which Notepad reads as UTF-16.
!macro Log text
  DetailPrint `${text}`
  FileWriteUTF16LE $InstallLog `${text}$\r$\n`
!macroend

; Runs a command, logs it with its output and exit status; the status is left in $0.
!macro LoggedExec command
  !insertmacro Log `> ${command}`
  nsExec::ExecToStack '${command}'
  Pop $0
  Pop $1
  FileWriteUTF16LE $InstallLog "$1"
  !insertmacro Log "exit status $0"
!macroend

Section "fernwick" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}/*.*"
  File "${TOP}/README.md"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  FileOpen $InstallLog "$INSTDIR\install.log" w
  FileWriteWord $InstallLog 0xFEFF
  !insertmacro Log "${PRODUCT} ${VERSION}: program folder $INSTDIR, site folder $SiteFolder"

  CreateDirectory "$SiteFolder"
  ${IfNot} ${FileExists} "$SiteFolder\sys.ini"
    SetOutPath "$SiteFolder"
    File "${SYSINI}"
    !insertmacro Log "wrote the sys.ini template"
  ${EndIf}
  ; Inherited by every file and folder made in the site folder from now on, and by those
  ; already there that inherit its rights.
  !insertmacro LoggedExec 'icacls "$SiteFolder" /grant "$SiteUsers:(OI)(CI)M"'
  ${If} $0 != 0
    !insertmacro Log "The site's users could not be given the right to change the site folder"
    SetErrorLevel 2
  ${EndIf}

  ; A shortcut starts in the folder that is current when it is made.
  SetOutPath "$SiteFolder"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\fernwick.exe" "" "$INSTDIR\fernwick.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\fernwick.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "SiteFolder" "$SiteFolder"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as Programs and Features shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; Task Scheduler takes a task with a working folder only as XML, which it reads as UTF-16.
Section "Sync every 15 minutes" SecTask
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
  !insertmacro LoggedExec 'schtasks /Create /TN "${TASK_NAME}" /XML "$PLUGINSDIR\task.xml" /F'
  ${If} $0 != 0
    !insertmacro Log "The scheduled task could not be registered"
    SetErrorLevel 2
  ${EndIf}
SectionEnd

Section "-close the install log"
  FileClose $InstallLog
SectionEnd

Function .onInit
  SetShellVarContext all
  ; With the context of all users, $APPDATA is C:\ProgramData.
  StrCpy $SiteFolder "$APPDATA\${PRODUCT}"
  StrCpy $SiteUsers "${USERS_SID}"
  ${GetParameters} $R0
  ; A token quoted whole, "/SITE=C:\a b", reads as /SITE="C:\a b" does.
  ${WordReplace} $R0 '"/SITE=' '/SITE="' "+" $R0
  ${WordReplace} $R0 '"/USERS=' '/USERS="' "+" $R0
  ClearErrors
  ${GetOptions} $R0 "/SITE=" $R1
  ${IfNot} ${Errors}
    StrCpy $SiteFolder $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/USERS=" $R1
  ${IfNot} ${Errors}
    StrCpy $SiteUsers $R1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/NOTASK" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecTask} 0
  ${EndIf}
FunctionEnd

LangString DESC_SecProgram ${LANG_ENGLISH} "The program, its Start-menu shortcut and the site folder."
LangString DESC_SecTask ${LANG_ENGLISH} 'The scheduled task "${TASK_NAME}": runs fernwick --once in the site folder every 15 minutes, as the local system account.'
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
  Delete "$INSTDIR\LICENSES.txt"
  Delete "$INSTDIR\install.log"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\sqldrivers"
  RMDir /r "$INSTDIR\styles"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
