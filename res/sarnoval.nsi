; The Windows installer, made by scripts/sarnoval.sh package-windows:
;   makensis -DVERSION=1.1 -DFILES=files.nsh -DICON=sarnoval.ico -DOUTFILE=setup.exe sarnoval.nsi
; FILES, written from the package folder, installs and removes exactly its
; files, so the uninstaller leaves nothing of ours and nothing else.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Sarnoval"
!include "${FILES}"

Name "Sarnoval ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\Sarnoval"
ShowInstDetails nevershow
ShowUninstDetails nevershow

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section
    ; Program Files is for every user, so is the Start menu entry.
    SetShellVarContext all
    !insertmacro SarnovalFiles
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Sarnoval.lnk" "$INSTDIR\Sarnoval.exe"
    WriteRegStr HKLM "${KEY}" DisplayName "Sarnoval"
    WriteRegStr HKLM "${KEY}" DisplayVersion "${VERSION}"
    WriteRegStr HKLM "${KEY}" Publisher "Quenvo"
    WriteRegStr HKLM "${KEY}" DisplayIcon "$INSTDIR\Sarnoval.exe,0"
    WriteRegStr HKLM "${KEY}" InstallLocation "$INSTDIR"
    WriteRegStr HKLM "${KEY}" UninstallString '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${KEY}" QuietUninstallString '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${KEY}" NoModify 1
    WriteRegDWORD HKLM "${KEY}" NoRepair 1
    SectionGetSize 0 $0
    WriteRegDWORD HKLM "${KEY}" EstimatedSize $0
SectionEnd

Section Uninstall
    SetShellVarContext all
    Delete "$SMPROGRAMS\Sarnoval.lnk"
    !insertmacro SarnovalRemoveFiles
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: a file the user put there stays, and so does its folder.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${KEY}"
SectionEnd
