#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest (CMAKE_CROSSCOMPILING_EMULATOR).
# Wine does not pass QT_* variables on; WINEQT_* reaches the program as QT_*.
if [[ -n "${QT_QPA_PLATFORM:-}" ]]; then
  export WINEQT_QPA_PLATFORM=$QT_QPA_PLATFORM
fi
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
