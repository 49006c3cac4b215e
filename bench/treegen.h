// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// The shapes of tree the benchmark measures on.
enum class TreeShape {
    // About `size` files and directories that look like a published share:
    // several levels deep, 20 to 40 entries a directory, mixed-case and some
    // non-ASCII names, a few hidden and excluded names, sizes and times
    // spread over years (sizes are set by truncation: no disk space taken).
    Share,
    // `size` one-letter directories, one in the other, a file at the bottom.
    Chain,
    // `size` levels, each holding a/, the next level, and b/ with one file.
    Comb,
    // One directory of `size` empty files named f and a number of one width.
    Flat,
};

// Makes a deterministic tree of the shape; returns how many entries it made.
qint64 generateTree(const QString &root, TreeShape shape, qint64 size, quint32 seed);
