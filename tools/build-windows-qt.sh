#!/bin/sh
# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds, once, the Windows Qt that tools/build-windows.sh builds against:
# Debian 12's own qt6-base 6.4.2 source (Core, Gui, Widgets, Test; platform
# plugins windows, offscreen, minimal), cross-compiled with Debian's MinGW-w64
# GCC through cmake/mingw-w64-x86_64.cmake, with Debian's moc, rcc and uic of
# the same version. About 15 minutes on 2 cores.
#   sh tools/build-windows-qt.sh [PREFIX]    (default ~/.cache/vorn_filesync_list/qt6-mingw-own)
# then: sh tools/build-windows.sh PREFIX
# Needs deb-src entries for bookworm and, as for the project's Windows build,
# sh tools/install-deps.sh windows; plus dpkg-dev, perl and xz-utils. Each step
# is skipped when its result is there: delete WORK (default /tmp/vorn-qt-build)
# to start again.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/vorn_filesync_list/qt6-mingw-own}
work=${WORK:-/tmp/vorn-qt-build}
jobs=${JOBS:-2}
src=$work/src/qt6-base-6.4.2+dfsg
build=$work/build

if [ ! -f "$src/CMakeLists.txt" ]; then
    mkdir -p "$work/src"
    # Unpacks and applies Debian's patches.
    (cd "$work/src" && apt-get source qt6-base=6.4.2+dfsg-10)
fi

if [ ! -f "$build/build.ninja" ]; then
    # What the program and its tests do not use is left out; Qt's bundled
    # zlib, PCRE2, PNG, FreeType and HarfBuzz are used, there being no Windows
    # builds of Debian's.
    cmake -G Ninja -S "$src" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_pkg_config=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF \
        -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_xml=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_direct2d1_1=OFF \
        -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF -DFEATURE_androiddeployqt=OFF \
        -DFEATURE_tabletevent=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
        -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
        -DFEATURE_system_textmarkdownreader=OFF
fi

cmake --build "$build" --parallel "$jobs"
cmake --install "$build"
# Every program built with this compiler loads these at run time.
cp -f /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libstdc++-6.dll \
      /usr/lib/gcc/x86_64-w64-mingw32/12-posix/libgcc_s_seh-1.dll \
      /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$prefix/bin/"
# Qt's toolchain file names the one Qt was built with by absolute path; point
# it at a copy inside the prefix so that the prefix can move.
cp -f "$here/cmake/mingw-w64-x86_64.cmake" "$prefix/mingw-w64.cmake"
sed -i 's|^set(__qt_initially_configured_toolchain_file ".*")$|set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/../../../mingw-w64.cmake")|' \
    "$prefix/lib/cmake/Qt6/qt.toolchain.cmake"
echo "Windows Qt in $prefix"
