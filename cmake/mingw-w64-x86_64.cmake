# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 GCC (package
# g++-mingw-w64-x86-64-posix). Given to a Windows Qt's own toolchain file as
#   -DCMAKE_TOOLCHAIN_FILE=<qt>/lib/cmake/Qt6/qt.toolchain.cmake
#   -DQT_CHAINLOAD_TOOLCHAIN_FILE=<this file>
# which adds the Qt prefix to the search roots; tools/build-windows.sh does so.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VORN_MINGW x86_64-w64-mingw32)
# The posix thread model: Qt needs std::thread and std::mutex, which the win32
# model of GCC 12 lacks. The -posix names hold whatever update-alternatives says.
set(CMAKE_C_COMPILER ${VORN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VORN_MINGW}-windres)
set(CMAKE_AR /usr/bin/${VORN_MINGW}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${VORN_MINGW}-ranlib CACHE FILEPATH "")

# Headers, libraries and packages from the MinGW sysroot and the Qt prefix
# only; programs (moc, rcc, sh) from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${VORN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
