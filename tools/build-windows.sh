#!/bin/sh
# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Cross-builds the program, its tests and its ZIP package for 64-bit Windows,
# then runs the tests under Wine:
#   sh tools/build-windows.sh [QT_PREFIX]
# QT_PREFIX is a Windows Qt 6 built with MinGW-w64 (tools/build-windows-qt.sh
# makes one). Without it the prebuilt archive named by VORN_WINDOWS_QT_ARCHIVE
# (default ../shared/windows/qt6.4.2-mingw-x86_64.tar.zst) is unpacked once
# into ~/.cache/vorn_filesync_list. The build goes to build-windows/ (or
# BUILD_DIR); its Wine prefix, build-windows/wine, is made afresh.
# Needs: cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
# qt6-base-dev qt6-base-dev-tools wine wine64 xvfb xauth zstd groff-base
# fonts-dejavu-core (tools/install-deps.sh windows installs them).
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-windows}
qt=${1:-}
if [ -z "$qt" ]; then
    archive=${VORN_WINDOWS_QT_ARCHIVE:-../shared/windows/qt6.4.2-mingw-x86_64.tar.zst}
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/vorn_filesync_list
    qt=$cache/qt6-mingw
    if [ ! -f "$qt/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
        mkdir -p "$cache"
        tar -C "$cache" -xf "$archive"
    fi
fi
qt=$(cd "$qt" && pwd)

cmake -G Ninja -S . -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
cmake --build "$build"
build=$(cd "$build" && pwd)
(cd "$build" && cpack -G ZIP)
rm -rf "$build/wine"
# One X server for the whole run rather than one per test; Wine's processes
# end before it does.
WINEPREFIX=$build/wine xvfb-run -a -s '-screen 0 1024x768x24' \
    sh -c 'ctest --test-dir "$1" --output-on-failure; status=$?; wineserver -w; exit $status' sh "$build"
