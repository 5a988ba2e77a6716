# Cross-build for 64-bit Windows on Debian with MinGW-w64. The -posix compilers,
# because the win32 thread model has no std::mutex or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VORLANX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORLANX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORLANX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VORLANX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VORLANX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static: the programs carry their C++ runtime and need no DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# ctest runs the test programs under Wine (scripts/wine-session makes the prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
