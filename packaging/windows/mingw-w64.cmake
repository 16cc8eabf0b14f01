# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads: std::thread and
# std::mutex need them). Used for the Qt build and, chain-loaded by qt-cmake, for the program.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MIRELO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MIRELO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MIRELO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MIRELO_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW sysroot (and the Windows Qt prefix, which qt-cmake adds);
# programs run during the build are the host's.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MIRELO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
