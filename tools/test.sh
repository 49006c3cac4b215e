#!/bin/sh
# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds and runs every test twice: a normal build, then one under
# AddressSanitizer and UndefinedBehaviorSanitizer; then the walk's tests
# once more under ThreadSanitizer, the walk being the program's threaded part.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja
cmake --build build
ctest --test-dir build --output-on-failure
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=address
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=thread
cmake --build build-tsan
TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tools/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -R '^tst_(filelist|listformat|program)$'
