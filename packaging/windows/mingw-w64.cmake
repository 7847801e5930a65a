# Builds the tool for Windows with Debian's MinGW-w64 (posix threads) against the Qt that
# toolchain.sh made: cmake -DWINDOWS_ARCH=i686|x86_64 -DCMAKE_PREFIX_PATH=<that toolchain>/qt
if(NOT WINDOWS_ARCH)
  set(WINDOWS_ARCH i686)
endif()
# try_compile reads this file again in a project of its own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WINDOWS_ARCH)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${WINDOWS_ARCH})
set(CMAKE_C_COMPILER ${WINDOWS_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${WINDOWS_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${WINDOWS_ARCH}-w64-mingw32-windres)
# The tools Qt runs while building (moc, uic, rcc) are this machine's; what is linked is Windows'.
set(CMAKE_FIND_ROOT_PATH /usr/${WINDOWS_ARCH}-w64-mingw32 ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
