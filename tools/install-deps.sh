#!/bin/sh
# SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what building, testing and benchmarking need on Debian 12 (run as root).
set -e
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends \
    cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins libgl-dev tzdata findutils
