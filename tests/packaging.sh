#!/bin/sh
# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks of what ships besides the program: the man page, the Debian package
# with its example units (systemd-analyze verify) and what lintian says of it, the Windows version resource as written and as
# linked into the program, and the Windows ZIP package run where it is
# unzipped. Exit 77 means skipped, with the reason printed.
#   packaging.sh man BUILD_DIR | deb BUILD_DIR | resource SOURCE_DIR
#              | exe BUILD_DIR | zip BUILD_DIR
set -eu
check=$1
dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

# The version resource's fields, given as a .rc file read back from binary form.
check_version_fields() {
    sed 's/^ *//' "$1" > "$work/fields"
    while IFS= read -r line; do
        grep -qxF "$line" "$work/fields" || fail "compiled resource lacks: $line"
    done <<FIELDS
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
VALUE "PrivateBuild", "$2"
VALUE "ProductVersion", "4, 5, 0, 0"
VALUE "SpecialBuild", ""
VALUE "Translation", 0x809, 1200
FIELDS
    [ "$(grep -c VERSIONINFO "$work/fields")" = 1 ] || fail "more than one version resource"
    ! grep -q -E 'ICON|DIALOG|MENU|STRINGTABLE' "$work/fields" || fail "resources besides the version"
}
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
    need dpkg-parsechangelog
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
    doc=./usr/share/doc/vorn-filesync-list
    for f in ./usr/bin/vorn_filesync_list ./usr/share/man/man1/vorn_filesync_list.1.gz \
             $doc/changelog.gz $doc/copyright $doc/examples/vorn-filesync-list@.service \
             $doc/examples/vorn-filesync-list@.timer $doc/examples/vorn-filesync-list.default \
             $doc/examples/vorn-filesync-list.cron; do
        echo "$files" | grep -qx "$f" || fail "package lacks $f"
    done
    dpkg-deb -x "$deb" "$work/root"
    # The example units as installed, one instance of them: every key known,
    # every dependency there. verify wants the program where ExecStart names
    # it: the package's own, unpacked here. Any line it prints fails.
    need systemd-analyze
    mkdir "$work/units"
    sed "s|^ExecStart=/usr/bin/|ExecStart=$work/root/usr/bin/|" \
        "$work/root/$doc/examples/vorn-filesync-list@.service" > "$work/units/vorn-filesync-list@.service"
    grep -q "^ExecStart=$work/root/usr/bin/vorn_filesync_list\$" "$work/units/vorn-filesync-list@.service" \
        || fail "the example service does not start /usr/bin/vorn_filesync_list"
    cp "$work/root/$doc/examples/vorn-filesync-list@.timer" "$work/units/"
    (cd / && SYSTEMD_UNIT_PATH="$work/units:" systemd-analyze verify --man=no \
        vorn-filesync-list@sys1.service vorn-filesync-list@sys1.timer) >"$work/verify" 2>&1 \
        || { cat "$work/verify"; fail "systemd-analyze verify"; }
    [ ! -s "$work/verify" ] || { cat "$work/verify"; fail "systemd-analyze verify warns"; }
    echo "example units: systemd-analyze verify passes on vorn-filesync-list@sys1"
    grep -q '^TZ=' "$work/root/$doc/examples/vorn-filesync-list.cron" || fail "the cron file does not pin TZ"
    grep -q '\\%SHARE_NAME\\%' "$work/root/$doc/examples/vorn-filesync-list.cron" || fail "the cron file does not escape %"
    # A new version needs its own changelog entry.
    logged=$(gunzip -c "$work/root/$doc/changelog.gz" | dpkg-parsechangelog -l- -SVersion)
    [ "$logged" = 4.5.0 ] || fail "the changelog's latest entry is $logged"
    echo "package: $(basename "$deb"), Depends: $depends"
    need lintian
    # Errors and warnings fail; infos are shown.
    lintian --fail-on error,warning --display-info "$deb" >"$work/lintian" 2>&1 \
        || { cat "$work/lintian"; fail "lintian"; }
    grep -v '^running with root privileges' "$work/lintian" || echo "lintian: no tags"
    ;;
resource)
    need x86_64-w64-mingw32-windres
    SOURCE_DATE_EPOCH=1375106531 cmake -DVERSION=4.5.0 -DINPUT="$dir/app/version.rc.in" \
        -DOUTPUT="$work/version.rc" -P "$dir/app/versionresource.cmake"
    x86_64-w64-mingw32-windres --preprocessor=cpp -i "$work/version.rc" -O res -o "$work/version.res"
    x86_64-w64-mingw32-windres -J res -i "$work/version.res" -O rc -o "$work/back.rc"
    check_version_fields "$work/back.rc" D20130729T140211
    echo "version resource: every field as required"
    ;;
exe)
    exe=$dir/vorn_filesync_list.exe
    x86_64-w64-mingw32-windres -J coff -i "$exe" -O rc -o "$work/back.rc"
    # Written just before the link: no later than the program, and not long before.
    stamp=$(sed -n 's/^ *VALUE "PrivateBuild", "\(D[0-9]\{8\}T[0-9]\{6\}\)"$/\1/p' "$work/back.rc")
    [ -n "$stamp" ] || fail "no PrivateBuild time"
    built=$(date -u -d "$(echo "$stamp" | sed 's/^D\(....\)\(..\)\(..\)T\(..\)\(..\)\(..\)$/\1-\2-\3 \4:\5:\6/')" +%s)
    linked=$(stat -c %Y "$exe")
    [ "$built" -le "$linked" ] && [ "$built" -ge $((linked - 600)) ] \
        || fail "PrivateBuild $stamp is not the link time $(date -u -d @"$linked" +%Y%m%dT%H%M%S)"
    check_version_fields "$work/back.rc" "$stamp"
    x86_64-w64-mingw32-objdump -p "$exe" | grep -q '^Subsystem.*(Windows GUI)$' || fail "not a GUI program"
    echo "program: GUI subsystem, version resource with every field, built $stamp"
    ;;
zip)
    need cpack
    (cd "$work" && cpack -G ZIP --config "$dir/CPackConfig.cmake" >cpack.log 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
    top=vorn_filesync_list-4.5.0-windows-x86_64
    zip=$work/$top.zip
    [ -f "$zip" ] || fail "no package $zip"
    mkdir "$work/unzipped"
    (cd "$work/unzipped" && cmake -E tar xf "$zip")
    (cd "$work/unzipped" && find . -type f | sort) > "$work/files"
    sed "s|^|./$top/|" > "$work/expected" <<'FILES'
COPYING.txt
Qt6Core.dll
Qt6Gui.dll
Qt6Widgets.dll
README.txt
libgcc_s_seh-1.dll
libstdc++-6.dll
libwinpthread-1.dll
licenses/GCC-runtime.txt
licenses/GPL-3.0.txt
licenses/LGPL-3.0.txt
licenses/MinGW-w64-runtime.txt
licenses/Qt.txt
platforms/qwindows.dll
vorn_filesync_list.exe
vorn_filesync_list.txt
FILES
    diff "$work/expected" "$work/files" || fail "the package holds other files, or not in one folder $top"
    folder=$work/unzipped/$top
    grep -q '^NAME' "$folder/vorn_filesync_list.txt" || fail "no manual text"
    tr -d '\r' < "$folder/COPYING.txt" | cmp -s - "$(dirname "$0")/../LICENSES/GPL-2.0-or-later.txt" \
        || fail "COPYING.txt is not the licence"
    # Each text, its CR LF taken out, holds a line matching the pattern.
    while IFS='|' read -r file pattern; do
        tr -d '\r' < "$folder/$file" | grep -q "$pattern" || fail "$file lacks: $pattern"
    done <<TEXTS
licenses/LGPL-3.0.txt|^ *GNU LESSER GENERAL PUBLIC LICENSE
licenses/LGPL-3.0.txt|^ *Version 3, 29 June 2007
licenses/GPL-3.0.txt|^ *GNU GENERAL PUBLIC LICENSE
licenses/GPL-3.0.txt|^ *Version 3, 29 June 2007
licenses/GCC-runtime.txt|^GCC RUNTIME LIBRARY EXCEPTION
licenses/MinGW-w64-runtime.txt|^Files: mingw-w64-libraries/winpthreads/
licenses/Qt.txt|^License: LGPL-3 or GPL-2
README.txt|^ *schtasks /create .*VORN_FILESYNC_LIST_EXIT_STATUS=1.*$top\\\\vorn_filesync_list.exe
TEXTS
    # Run from the unzipped folder alone: no Qt of the build's on the path.
    mkdir -p "$work/tree/share/sub"
    printf 'x' > "$work/tree/share/sub/f.txt"
    touch -d '2013-07-29 12:02:11 UTC' "$work/tree/share/sub/f.txt"
    QT_QPA_PLATFORM=windows TZ=UTC sh "$(dirname "$0")/../tools/wine-run.sh" "$work/no-qt" "$dir/wine" \
        "$folder/vorn_filesync_list.exe" "Z:$work/tree" share 2>"$work/stderr" \
        || fail "the program failed: $(cat "$work/stderr")"
    tr -d '\r' < "$work/stderr" | grep -qxF "source is Z:$work/tree\\share" || fail "no source line: $(cat "$work/stderr")"
    printf 'sub,,0\r\nsub/f.txt,2013-07-29T12:02:11,1\r\n' > "$work/list"
    cmp "$work/list" "$work/tree/share/filelist.sync" || fail "list: $(cat "$work/tree/share/filelist.sync")"
    echo "package: $(basename "$zip") unzips to $top/ and runs there"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
