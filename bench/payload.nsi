; The benchmark payload installed silently: the reference for the setup's own silent install.
; makensis -DPAYLOAD=<folder with bin and data> ; run as "installer.exe /S /D=<destination>".
Unicode true
Name "Payload"
SetCompressor /SOLID lzma
SilentInstall silent
RequestExecutionLevel user
InstallDir "$TEMP\orvbench"
Section
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}/bin"
  File /r "${PAYLOAD}/data"
SectionEnd
