set(CMAKE_C_COMPILER ${DSS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DSS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DSS_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${DSS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The build machine's packages (its GTest) are not the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything links statically: the programs need only DLLs that ship with
# Windows, not libstdc++, libgcc or winpthread.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The oldest Windows the programs start on: Vista, the first with
# GetTickCount64, which winpthread (of the posix thread model chosen above)
# imports. CMakeLists.txt writes it into the programs' headers.
set(DSS_WINDOWS_MINIMUM 6.0)
