# Shared part of the MinGW-w64 toolchain files: Debian's posix-thread
# compilers for QUILLFEN_MINGW_TRIPLET, libraries looked up only in the
# MinGW sysroot and in the Windows prefixes given on the command line:
#   WIN_QT_PREFIX    the cross-built Qt (holds lib/cmake/Qt5)
#   WIN_EXTRA_ROOTS  further prefixes, e.g. the cross-built googletest
# Test programs run through tools/windows/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QUILLFEN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLFEN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLFEN_MINGW_TRIPLET}-windres)

# try_compile projects see the same prefixes.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WIN_QT_PREFIX WIN_EXTRA_ROOTS)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLFEN_MINGW_TRIPLET} ${WIN_QT_PREFIX} ${WIN_EXTRA_ROOTS})
set(CMAKE_PREFIX_PATH ${WIN_QT_PREFIX} ${WIN_EXTRA_ROOTS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
