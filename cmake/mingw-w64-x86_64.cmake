# Cross-builds for 64-bit Windows with Debian's mingw-w64. The -posix compilers are the ones whose
# libstdc++ has std::thread and std::mutex. Libraries built for Windows (lz4, GoogleTest, Qt) live under
# PARLIVEX_MINGW_PREFIX and PARLIVEX_QT_MINGW, which tools/windows-deps.sh fills.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PARLIVEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PARLIVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARLIVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PARLIVEX_MINGW_TRIPLE}-windres)

if(NOT DEFINED PARLIVEX_MINGW_PREFIX)
  if(DEFINED ENV{PARLIVEX_MINGW_PREFIX})
    set(PARLIVEX_MINGW_PREFIX $ENV{PARLIVEX_MINGW_PREFIX})
  else()
    set(PARLIVEX_MINGW_PREFIX $ENV{HOME}/.cache/parlivex/mingw)
  endif()
endif()
# Qt for Windows, cross-built by tools/windows-deps.sh --qt.
if(NOT DEFINED PARLIVEX_QT_MINGW)
  if(DEFINED ENV{PARLIVEX_QT_MINGW})
    set(PARLIVEX_QT_MINGW $ENV{PARLIVEX_QT_MINGW})
  else()
    set(PARLIVEX_QT_MINGW $ENV{HOME}/.cache/parlivex/qt6-mingw)
  endif()
endif()
# try_compile projects see the toolchain file again but not the cache: hand the prefixes down.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PARLIVEX_MINGW_PREFIX PARLIVEX_QT_MINGW)

set(CMAKE_FIND_ROOT_PATH /usr/${PARLIVEX_MINGW_TRIPLE} ${PARLIVEX_MINGW_PREFIX} ${PARLIVEX_QT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see the Windows .pc files only, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${PARLIVEX_MINGW_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Tests run through Wine.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(PARLIVEX_WINE NAMES wine wine64)
  if(PARLIVEX_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PARLIVEX_WINE})
  endif()
endif()
