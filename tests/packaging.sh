#!/bin/sh
# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks of what ships besides the program: the man page, the Debian package
# and the Windows version resource. Exit 77 means skipped, with the reason printed.
#   packaging.sh man BUILD_DIR | deb BUILD_DIR | resource SOURCE_DIR
set -eu
check=$1
dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || { echo "SKIP: $1 is not installed"; exit 77; }; }

case $check in
man)
    need groff
    page=$dir/app/vorn_filesync_list.1
    warnings=$(groff -ww -z -man "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff warns: $warnings"
    grep -q '^\.TH VORN_FILESYNC_LIST 1 .*"vorn_filesync_list 4\.5\.0"' "$page" || fail "no version 4.5.0 in the title line"
    for section in NAME SYNOPSIS DESCRIPTION OUTCOMES DIAGNOSTICS "EXIT STATUS" ENVIRONMENT FILES; do
        grep -q "^\.SH $section\$" "$page" || fail "no $section section"
    done
    echo "man page: renders without warnings"
    ;;
deb)
    need cpack
    need dpkg-deb
    need dpkg-shlibdeps
    (cd "$work" && cpack -G DEB --config "$dir/CPackConfig.cmake" >cpack.log 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
    deb=$work/vorn-filesync-list_4.5.0_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || fail "no package $deb"
    [ "$(dpkg-deb -f "$deb" Package)" = vorn-filesync-list ] || fail "package name"
    [ "$(dpkg-deb -f "$deb" Version)" = 4.5.0 ] || fail "version"
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
    [ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libqt6core6 libqt6widgets6 libc6 qt6-qpa-plugins; do
        echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
    done
    files=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for f in ./usr/bin/vorn_filesync_list ./usr/share/man/man1/vorn_filesync_list.1.gz; do
        echo "$files" | grep -qx "$f" || fail "package lacks $f"
    done
    echo "package: $(basename "$deb"), Depends: $depends"
    ;;
resource)
    need x86_64-w64-mingw32-windres
    SOURCE_DATE_EPOCH=1375106531 cmake -DVERSION=4.5.0 -DINPUT="$dir/app/version.rc.in" \
        -DOUTPUT="$work/version.rc" -P "$dir/app/versionresource.cmake"
    x86_64-w64-mingw32-windres --preprocessor=cpp -i "$work/version.rc" -O res -o "$work/version.res"
    x86_64-w64-mingw32-windres -J res -i "$work/version.res" -O rc -o "$work/back.rc"
    sed 's/^ *//' "$work/back.rc" > "$work/fields"
    while IFS= read -r line; do
        grep -qxF "$line" "$work/fields" || fail "compiled resource lacks: $line"
    done <<'FIELDS'
LANGUAGE 9, 2
FILEVERSION 4, 5, 0, 0
PRODUCTVERSION 4, 5, 0, 0
FILETYPE 0x1
BLOCK "080904b0"
VALUE "Comments", ""
VALUE "FileDescription", "vorn_filesync_list"
VALUE "FileVersion", "4, 5, 0, 0"
VALUE "InternalName", "vorn_filesync_list"
VALUE "LegalTrademarks", ""
VALUE "OriginalFilename", "vorn_filesync_list.exe"
VALUE "PrivateBuild", "D20130729T140211"
VALUE "ProductVersion", "4, 5, 0, 0"
VALUE "SpecialBuild", ""
VALUE "Translation", 0x809, 1200
FIELDS
    [ "$(grep -c VERSIONINFO "$work/fields")" = 1 ] || fail "more than one version resource"
    ! grep -q -E 'ICON|DIALOG|MENU|STRINGTABLE' "$work/fields" || fail "resources besides the version"
    echo "version resource: every field as required"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
