# Cross-compiling for Windows (x86_64) with Debian's mingw-w64 compilers, posix thread model (so
# that std::thread works). Everything is linked statically: the .exe files need no DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CARCONV_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${CARCONV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CARCONV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CARCONV_MINGW_TRIPLET}-windres)

# Only the mingw sysroot is searched for headers and libraries: the host's /usr/include holds
# glibc headers that must never reach a Windows build.
set(CMAKE_FIND_ROOT_PATH /usr/${CARCONV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine (see scripts/wine-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
