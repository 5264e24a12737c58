# Cross-build for 64-bit Windows with Debian's MinGW-w64 toolchain.
#
# The -posix compilers are the ones whose libstdc++ has std::thread and std::mutex. Every
# binary links its C and C++ runtimes statically, so the module imports only system DLLs
# (KERNEL32, msvcrt, WS2_32, ...). Tests and try_run() run through Wine.
#
# HVE_WINDOWS_DEPS_PREFIX names the folder holding the cross-built static libraries
# (jansson, mbed TLS, libwebsockets, pugixml, GoogleTest); scripts/build-windows.sh sets it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HVE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HVE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HVE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HVE_MINGW_TRIPLE}-windres)
set(CMAKE_AR /usr/bin/${HVE_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${HVE_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

# try_compile() projects read this file again; hand them the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HVE_WINDOWS_DEPS_PREFIX)
if(NOT HVE_WINDOWS_DEPS_PREFIX AND DEFINED ENV{HVE_WINDOWS_DEPS_PREFIX})
  set(HVE_WINDOWS_DEPS_PREFIX "$ENV{HVE_WINDOWS_DEPS_PREFIX}")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${HVE_MINGW_TRIPLE})
if(HVE_WINDOWS_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${HVE_WINDOWS_DEPS_PREFIX})
  list(APPEND CMAKE_PREFIX_PATH ${HVE_WINDOWS_DEPS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtimes: without them the binaries need libwinpthread-1.dll, libstdc++-6.dll and
# libgcc_s_seh-1.dll beside them, and Wine ends them with "missing DLL" (exit code 53).
set(HVE_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${HVE_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${HVE_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${HVE_MINGW_STATIC_RUNTIME}")

find_program(HVE_WINE_PROGRAM NAMES wine wine64)
if(HVE_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HVE_WINE_PROGRAM})
endif()
