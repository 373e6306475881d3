# 32-bit Windows with Debian's MinGW-w64 cross-compiler (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DSS_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
# Debian's `wine` starts 32-bit programs.
find_program(DSS_WINE NAMES wine)
