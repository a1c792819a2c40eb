# Shared by the mingw-w64 toolchain files, which set CMAKE_SYSTEM_PROCESSOR and
# CARCONV_MINGW_TRIPLET first. Posix thread model (so that std::thread works); everything is
# linked statically: the .exe files need no DLLs.
set(CMAKE_SYSTEM_NAME Windows)

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
