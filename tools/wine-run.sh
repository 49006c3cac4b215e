#!/bin/sh
# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs a Windows program of the Windows build under Wine, as CTest's
# cross-compiling emulator and for the package check:
#   wine-run.sh QT_PREFIX WINE_PREFIX PROGRAM.exe [ARGUMENT...]
# The Qt and MinGW DLLs come from QT_PREFIX/bin, the platform plugins from
# QT_PREFIX/plugins; WINE_PREFIX is made on first use. Without a DISPLAY the
# run gets a virtual X server of its own: Wine needs one even when Qt draws
# offscreen, or the program never exits.
set -eu
qt=$1
prefix=$2
shift 2

# Linux paths as Wine sees them, on drive Z:.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko download prompts when the prefix is made.
export WINEDLLOVERRIDES='mscoree,mshtml='
# Wine keeps PATH and every QT_ variable of Linux from Windows programs; it
# hands on WINEPATH, WINEQT_... as PATH, QT_... instead.
export WINEPATH="$(windows_path "$qt/bin")"
export WINEQT_PLUGIN_PATH="$(windows_path "$qt/plugins")"
export WINEQT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
# Fonts for the offscreen platform, which does not ask Windows for them
# (package fonts-dejavu-core).
export WINEQT_QPA_FONTDIR="$(windows_path /usr/share/fonts/truetype/dejavu)"
# Without a console window QtTest writes its report to the debugger only.
export WINEQT_FORCE_STDERR_LOGGING=1
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64

if [ -z "${DISPLAY:-}" ]; then
    # The program's Wine processes must be gone before the X server goes.
    exec xvfb-run -a -s '-screen 0 1024x768x24' sh -c '"$0" "$@"; status=$?; wineserver -w; exit $status' \
        "$wine" "$@"
fi
exec "$wine" "$@"
