; The bench's NSIS installer: the whole payload, installed silently (/S) and
; removed by its uninstaller. Built by bench/run.sh with
;   makensis -DPAYLOAD=<folder> -DMODE=solid|lzma|stored -DOUT=<file> bench.nsi
; NSIS's defaults otherwise (8 MiB LZMA dictionary, CRC check of the installer
; at start, file dates kept).
Unicode true
Target amd64-unicode

!if ${MODE} == solid
  SetCompressor /SOLID lzma
!else if ${MODE} == lzma
  SetCompressor lzma
!else if ${MODE} == stored
  SetCompress off
!else
  !error "MODE must be solid, lzma or stored"
!endif

Name "KestrelonBench NSIS"
OutFile "${OUT}"
InstallDir "C:\bench\inst\nsis"
RequestExecutionLevel user
ShowInstDetails nevershow

Section
  SetOutPath "$INSTDIR"
  File /r "${PAYLOAD}\*"
  WriteUninstaller "$INSTDIR\uninst.exe"
SectionEnd

Section Uninstall
  RMDir /r "$INSTDIR"
SectionEnd
