#!/bin/sh
# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Makes docs/window.png: the real program on a sample tree under a virtual X
# server, captured while its window shows the outcome. Needs xvfb, x11-utils,
# x11-apps and imagemagick (apt-get install xvfb x11-utils x11-apps imagemagick
# fonts-dejavu-core), and a build in build/.
#   sh tools/screenshot.sh [PROGRAM]
#   sh tools/screenshot.sh windows [BUILD_DIR [QT_PREFIX]]
# The second makes docs/window-windows.png from the Windows build
# (tools/build-windows.sh) under Wine, with Qt's windows platform.
set -eu
cd "$(dirname "$0")/.."
sample=/tmp/vorn_filesync_list-sample
display=:97
title="Generate  File Sync List"
if [ "${1:-}" = windows ]; then
    build=$(cd "${2:-build-windows}" && pwd)
    qt=${3:-${XDG_CACHE_HOME:-$HOME/.cache}/vorn_filesync_list/qt6-mingw}
    picture=docs/window-windows.png
    run() {
        QT_QPA_PLATFORM=windows sh tools/wine-run.sh "$qt" "$build/wine" \
            "$build/vorn_filesync_list.exe" "Z:$sample" share
    }
else
    program=${1:-build/app/vorn_filesync_list}
    picture=docs/window.png
    run() { QT_QPA_PLATFORM=xcb "$program" "$sample" share; }
fi

rm -rf "$sample"
mkdir -p "$sample/share/bin" "$sample/share/temp"
printf 'tool\n' > "$sample/share/bin/tool.exe"
printf 'read me\n' > "$sample/share/readme.txt"

Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 100); do
    xwininfo -display "$display" -root >/dev/null 2>&1 && break
    sleep 0.05
done

DISPLAY=$display run 2>/dev/null &
app=$!
# The list is saved within the first moments (under Wine, a few seconds); the
# window then shows the outcome for two seconds.
for _ in $(seq 400); do
    [ -f "$sample/share/filelist.sync" ] && xwininfo -display "$display" -name "$title" >/dev/null 2>&1 && break
    sleep 0.05
done
sleep 0.5
id=$(xwininfo -display "$display" -name "$title" | awk '/Window id:/ {print $4}')
mkdir -p docs
xwd -display "$display" -id "$id" -silent | convert xwd:- -strip "png:$picture"
wait $app
# Wine's own processes go before the X server does.
[ "${1:-}" != windows ] || WINEPREFIX=$build/wine wineserver -w
echo "$picture: $(identify -format '%wx%h' "$picture")"
