#!/bin/sh
# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what building, testing, packaging and benchmarking need on Debian 12
# (run as root): the fontconfig headers let the program set fontconfig up
# quietly, dpkg-dev computes the package's dependencies, lintian checks the
# package, systemd's systemd-analyze checks its example units, groff checks
# the man page, the MinGW binutils compile the Windows version resource,
# strace holds the program back in a test, fuse3 and its headers build and
# mount slowfs, the slow storage of the benchmark and of a test, Qt's Wayland
# platform lets a test try a Wayland socket that is gone, and a Turkish locale
# shows that the program's reasons stay English under another language.
#   sh tools/install-deps.sh           the Linux build
#   sh tools/install-deps.sh windows   also the Windows build and Wine to test it
set -e
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends \
    cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins qt6-wayland libgl-dev libfontconfig-dev \
    tzdata findutils dpkg-dev lintian systemd groff-base binutils-mingw-w64-x86-64 strace fuse3 \
    libfuse3-dev pkg-config locales
sed -i 's/^# *\(tr_TR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
locale-gen
if [ "${1:-}" = windows ]; then
    # Debian's moc, rcc and uic serve the Windows Qt of the same version.
    apt-get install -y -q --no-install-recommends \
        g++-mingw-w64-x86-64-posix qt6-base-dev-tools wine wine64 xvfb xauth zstd \
        fonts-dejavu-core
fi
