# Cross-build for Windows x86-64 with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
# The posix thread model gives the tests std::thread; the library itself
# uses Win32 threads, semaphores and critical sections directly.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KTA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KTA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KTA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KTA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KTA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The .exe files must run on a clean Windows: no compiler runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# With Wine on the host, ctest runs the .exe files through it; see tests/lab/wine.sh.
find_program(KTA_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KTA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${KTA_WINE})
endif()
