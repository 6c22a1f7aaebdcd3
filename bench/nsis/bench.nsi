; The bench's NSIS installer: the whole payload, installed silently (/S) and
; removed by its uninstaller. Built by bench/run.sh with
;   makensis -DPAYLOAD=<folder> -DMODE=solid|lzma|stored -DTARGET=x86-unicode|amd64-unicode
;            -DOUT=<file> bench.nsi
; (the target matching the engine build measured; amd64-unicode when none is given)
; NSIS's defaults otherwise (8 MiB LZMA dictionary, CRC check of the installer
; at start, file dates kept).
Unicode true
!ifndef TARGET
  !define TARGET amd64-unicode
!endif
Target ${TARGET}

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
