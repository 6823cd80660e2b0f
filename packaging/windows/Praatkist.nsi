; The Windows setup program, Praatkist-<version>-setup.exe, made by makensis from the
; static Praatkist.exe: cmake --build <build> --target praatkist-setup
; (packaging/windows/setup.cmake passes the defines below).
;
;   Praatkist-<version>-setup.exe [/S] [/ALLUSERS | /CURRENTUSER] [/DESKTOP] [/D=folder]
;
;   /S            silent: no pages, no questions; exit code 0 when installed
;   /ALLUSERS     for every user of the computer, into Program Files (the default;
;                 silent, it needs an administrator: exit code 740 otherwise)
;   /CURRENTUSER  for the current user alone, without elevation, into
;                 %LOCALAPPDATA%\Programs\Praatkist
;   /DESKTOP      also a shortcut on the desktop
;   /D=folder     another installation folder (last on the command line)
;
; Installed over an earlier version, it upgrades that one in place: same mode, same
; folder, the desktop shortcut kept where there was one. The uninstaller (Uninstall.exe
; in the installation folder; the list of installed programs runs it, /S for silent)
; removes the program, its shortcuts and its entry there, and never a take or the
; settings: those live in the user's own folders, and a settings file that lies in the
; installation folder stays with the folder.
;
; The version is the one in Praatkist.exe's own version record.
;
; Defines: PK_STAGE  folder with Praatkist.exe and licenses\
;          PK_LICENSE the GPL text with CR LF line ends
;          PK_ICON   the program's icon (.ico)
;          PK_SIDE   the picture beside the first and the last page (164 x 314 BMP)
;          PK_OUTDIR where the setup program goes

; a 64-bit setup for a 64-bit program (it also runs on a wine without 32-bit support)
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
; elevation is asked for only when the user chooses an install for all users
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!getdllversion "${PK_STAGE}/Praatkist.exe" PK_VERSION_
!define VERSION "${PK_VERSION_1}.${PK_VERSION_2}.${PK_VERSION_3}.${PK_VERSION_4}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Praatkist"
!define PUBLISHER "Praatkist"
; ShellExecute's answer when a program needs elevation
!define ERROR_ELEVATION_REQUIRED 740

Name "Praatkist"
Caption "Praatkist ${VERSION} installeren"
UninstallCaption "Praatkist verwijderen"
OutFile "${PK_OUTDIR}/Praatkist-${VERSION}-setup.exe"
BrandingText "Praatkist ${VERSION}"

Var InstallMode ; AllUsers or CurrentUser
Var IsAdmin     ; 1 when the process holds administrator rights
Var Elevated    ; 1 in the copy started with elevation (/ELEVATED)
Var WantDesktop ; 1: a desktop shortcut
Var Previous    ; folder of an earlier install, upgraded in place
Var GivenDir    ; the folder given with /D
Var ModeAll
Var ModeMe
Var DesktopBox

!define MUI_ICON "${PK_ICON}"
!define MUI_UNICON "${PK_ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${PK_SIDE}"
!define MUI_ABORTWARNING
!define MUI_ABORTWARNING_TEXT "Wil je de installatie van Praatkist afbreken?"

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWhenElevated
!define MUI_WELCOMEPAGE_TITLE "Praatkist ${VERSION} installeren"
!define MUI_WELCOMEPAGE_TEXT "Praatkist maakt snel spraak-opnames.$\r$\n$\r$\nStaat er al een oudere versie op deze computer, dan wordt die bijgewerkt. Je opnames en je instellingen blijven bewaard.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWhenElevated
!define MUI_PAGE_HEADER_TEXT "Licentie"
!define MUI_PAGE_HEADER_SUBTEXT "Praatkist is vrije software."
!define MUI_LICENSEPAGE_TEXT_TOP "De GNU General Public License, versie 3 of later:"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Je mag Praatkist gebruiken, doorgeven en aanpassen onder deze licentie. Akkoord gaan is niet nodig om het programma te gebruiken."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${PK_LICENSE}"

Page custom ModePage ModePageLeave

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWhenUpgrade
!define MUI_PAGE_HEADER_TEXT "Map"
!define MUI_PAGE_HEADER_SUBTEXT "Kies waar Praatkist komt te staan."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Praatkist wordt in de map hieronder geïnstalleerd. Kies Bladeren voor een andere map."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Map"
!insertmacro MUI_PAGE_DIRECTORY

!define MUI_PAGE_HEADER_TEXT "Installeren"
!define MUI_PAGE_HEADER_SUBTEXT "Praatkist wordt geïnstalleerd."
!define MUI_INSTFILESPAGE_FINISHHEADER_TEXT "Klaar"
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "Praatkist is geïnstalleerd."
!define MUI_INSTFILESPAGE_ABORTHEADER_TEXT "Afgebroken"
!define MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT "Praatkist is niet geïnstalleerd."
!insertmacro MUI_PAGE_INSTFILES

!define MUI_FINISHPAGE_TITLE "Praatkist is geïnstalleerd"
!define MUI_FINISHPAGE_TEXT "Je vindt Praatkist in het Startmenu.$\r$\n$\r$\nKlik op Voltooien om af te sluiten."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Praatkist nu starten"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_FINISH

!define MUI_PAGE_HEADER_TEXT "Praatkist verwijderen"
!define MUI_PAGE_HEADER_SUBTEXT "Het programma gaat van deze computer af."
!define MUI_UNCONFIRMPAGE_TEXT_TOP "Praatkist wordt verwijderd: het programma, de snelkoppelingen en de vermelding bij de geïnstalleerde apps. Je opnames en je instellingen blijven bewaard."
!define MUI_UNCONFIRMPAGE_TEXT_LOCATION "Uit de map"
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_HEADER_TEXT "Praatkist verwijderen"
!define MUI_PAGE_HEADER_SUBTEXT "Praatkist wordt verwijderd."
!define /redef MUI_INSTFILESPAGE_FINISHHEADER_TEXT "Klaar"
!define /redef MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "Praatkist is van deze computer verwijderd."
!define /redef MUI_INSTFILESPAGE_ABORTHEADER_TEXT "Afgebroken"
!define /redef MUI_INSTFILESPAGE_ABORTHEADER_SUBTEXT "Praatkist is niet verwijderd."
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Dutch"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_DUTCH} "ProductName" "Praatkist"
VIAddVersionKey /LANG=${LANG_DUTCH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_DUTCH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_DUTCH} "FileDescription" "Praatkist ${VERSION} installeren"
VIAddVersionKey /LANG=${LANG_DUTCH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_DUTCH} "LegalCopyright" "© 2026 Praatkist · vrije software onder GPL-3.0-or-later"

; ---- mode and folder ------------------------------------------------------------------

!macro IsAdmin
  StrCpy $IsAdmin 0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $IsAdmin 1
  ${EndIf}
!macroend

!macro HasOption OPTION VAR
  ClearErrors
  ${GetOptions} $R0 "${OPTION}" $R1
  ${IfNot} ${Errors}
    StrCpy ${VAR} 1
  ${EndIf}
  ClearErrors
!macroend

; the shell folders, the registry root (SHCTX) and the default folder of $InstallMode
Function ApplyMode
  ${If} $InstallMode == "AllUsers"
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${If} $Previous != ""
    StrCpy $INSTDIR $Previous
  ${ElseIf} $GivenDir != ""
    StrCpy $INSTDIR $GivenDir
  ${ElseIf} $InstallMode == "AllUsers"
    StrCpy $INSTDIR "$PROGRAMFILES64\Praatkist"
  ${Else}
    GetKnownFolderPath $0 {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB} ; FOLDERID_UserProgramFiles
    ${If} $0 == ""
      StrCpy $0 "$LOCALAPPDATA\Programs"
    ${EndIf}
    StrCpy $INSTDIR "$0\Praatkist"
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 64
  StrCpy $GivenDir $INSTDIR
  StrCpy $WantDesktop 0
  StrCpy $Elevated 0
  StrCpy $R2 0
  StrCpy $R3 0
  ${GetParameters} $R0
  !insertmacro HasOption "/ALLUSERS" $R2
  !insertmacro HasOption "/CURRENTUSER" $R3
  !insertmacro HasOption "/DESKTOP" $WantDesktop
  !insertmacro HasOption "/ELEVATED" $Elevated
  !insertmacro IsAdmin

  ; an earlier install decides mode and folder, unless the command line says otherwise
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R2 == 1
    StrCpy $InstallMode "AllUsers"
    StrCpy $Previous $0
  ${ElseIf} $R3 == 1
    StrCpy $InstallMode "CurrentUser"
    StrCpy $Previous $1
  ${ElseIf} $0 != ""
    StrCpy $InstallMode "AllUsers"
    StrCpy $Previous $0
  ${ElseIf} $1 != ""
    StrCpy $InstallMode "CurrentUser"
    StrCpy $Previous $1
  ${ElseIf} ${Silent}
  ${AndIf} $IsAdmin != 1
    StrCpy $InstallMode "CurrentUser"
  ${Else}
    StrCpy $InstallMode "AllUsers"
  ${EndIf}
  Call ApplyMode
  ${If} ${FileExists} "$DESKTOP\Praatkist.lnk"
    StrCpy $WantDesktop 1
  ${EndIf}

  ${If} $InstallMode == "AllUsers"
  ${AndIf} $IsAdmin != 1
    ${If} ${Silent}
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${EndIf}
    ${If} $Elevated == 1
      MessageBox MB_ICONSTOP "Zonder beheerdersrechten kan Praatkist niet voor alle gebruikers worden geïnstalleerd."
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Function SkipWhenElevated
  ${If} $Elevated == 1
    Abort
  ${EndIf}
FunctionEnd

Function SkipWhenUpgrade
  ${If} $Previous != ""
    Abort
  ${EndIf}
FunctionEnd

Function ModePage
  ${If} $Elevated == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Voor wie" "Kies voor wie Praatkist wordt geïnstalleerd."
  nsDialogs::Create 1018
  Pop $0
  ${If} $Previous != ""
    ${NSD_CreateLabel} 0 0 100% 24u "Praatkist staat al in $Previous. Die versie wordt bijgewerkt."
    Pop $0
  ${Else}
    ${NSD_CreateLabel} 0 0 100% 24u "Voor iedereen die deze computer gebruikt, of alleen voor jou."
    Pop $0
  ${EndIf}
  ${NSD_CreateRadioButton} 0 30u 100% 12u "Voor &alle gebruikers, in Program Files (vraagt om beheerdersrechten)"
  Pop $ModeAll
  ${NSD_CreateRadioButton} 0 46u 100% 12u "Alleen voor &mij (geen beheerdersrechten nodig)"
  Pop $ModeMe
  ${If} $InstallMode == "AllUsers"
    ${NSD_Check} $ModeAll
  ${Else}
    ${NSD_Check} $ModeMe
  ${EndIf}
  ${If} $Previous != ""
    EnableWindow $ModeAll 0
    EnableWindow $ModeMe 0
  ${EndIf}
  ${NSD_CreateCheckBox} 0 74u 100% 12u "Ook een snelkoppeling op het &bureaublad"
  Pop $DesktopBox
  ${If} $WantDesktop == 1
    ${NSD_Check} $DesktopBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $DesktopBox $WantDesktop
  ${If} $WantDesktop != 1
    StrCpy $WantDesktop 0
  ${EndIf}
  ${If} $Previous == ""
    ${NSD_GetState} $ModeAll $0
    ${If} $0 == ${BST_CHECKED}
      StrCpy $InstallMode "AllUsers"
    ${Else}
      StrCpy $InstallMode "CurrentUser"
    ${EndIf}
    Call ApplyMode
  ${EndIf}
  ${If} $InstallMode == "AllUsers"
  ${AndIf} $IsAdmin != 1
    ; the rest of the setup runs in a copy with administrator rights
    StrCpy $0 "/ALLUSERS /ELEVATED"
    ${If} $WantDesktop == 1
      StrCpy $0 "$0 /DESKTOP"
    ${EndIf}
    ClearErrors
    ExecShell "runas" "$EXEPATH" $0
    ${If} ${Errors}
      MessageBox MB_ICONEXCLAMATION "Zonder beheerdersrechten kan Praatkist niet voor alle gebruikers worden geïnstalleerd. Kies $\"Alleen voor mij$\" of probeer het opnieuw."
      Abort
    ${EndIf}
    Quit
  ${EndIf}
FunctionEnd

; started as the user of the desktop, also from an elevated setup
Function StartProgram
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\Praatkist.exe"'
FunctionEnd

; ---- install --------------------------------------------------------------------------

Section "Praatkist"
  SetOutPath "$INSTDIR"
  File "${PK_STAGE}/Praatkist.exe"
  RMDir /r "$INSTDIR\licenses" ; an earlier version's texts
  File /r "${PK_STAGE}/licenses"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Praatkist.lnk" "$INSTDIR\Praatkist.exe" "" \
    "$INSTDIR\Praatkist.exe" 0 SW_SHOWNORMAL "" "Snel spraak-opnames maken"
  ${If} $WantDesktop == 1
    CreateShortcut "$DESKTOP\Praatkist.lnk" "$INSTDIR\Praatkist.exe" "" \
      "$INSTDIR\Praatkist.exe" 0 SW_SHOWNORMAL "" "Snel spraak-opnames maken"
  ${EndIf}

  ${If} $InstallMode == "AllUsers"
    StrCpy $0 "/ALLUSERS"
  ${Else}
    StrCpy $0 "/CURRENTUSER"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Praatkist"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Comments" "Snel spraak-opnames maken"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Praatkist.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" $0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" $0 /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "VersionMajor" ${PK_VERSION_1}
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "VersionMinor" ${PK_VERSION_2}
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

; ---- uninstall ------------------------------------------------------------------------

Function un.onInit
  SetRegView 64
  ${GetParameters} $R0
  StrCpy $R2 0
  !insertmacro HasOption "/ALLUSERS" $R2
  !insertmacro IsAdmin
  ${If} $R2 == 1
    StrCpy $InstallMode "AllUsers"
    SetShellVarContext all
    ${If} $IsAdmin != 1
      ${If} ${Silent}
        SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
        Quit
      ${EndIf}
      ClearErrors
      ExecShell "runas" "$INSTDIR\Uninstall.exe" "/ALLUSERS"
      ${If} ${Errors}
        MessageBox MB_ICONEXCLAMATION "Zonder beheerdersrechten kan Praatkist niet voor alle gebruikers worden verwijderd."
      ${EndIf}
      Quit
    ${EndIf}
  ${Else}
    StrCpy $InstallMode "CurrentUser"
    SetShellVarContext current
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; only what the setup put there: takes and settings live elsewhere, and a settings
  ; file beside the program keeps the folder
  ${Do}
    ClearErrors
    Delete "$INSTDIR\Praatkist.exe"
    ${IfNot} ${FileExists} "$INSTDIR\Praatkist.exe"
      ${Break}
    ${EndIf}
    ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Praatkist is nog geopend. Sluit het programma en kies Opnieuw." /SD IDCANCEL IDCANCEL`
      Abort "Praatkist is nog geopend."
    ${EndIf}
  ${Loop}
  RMDir /r "$INSTDIR\licenses"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Praatkist.lnk"
  Delete "$DESKTOP\Praatkist.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
