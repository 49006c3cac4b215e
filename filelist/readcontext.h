// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"

#include <atomic>
#include <vector>

class EntryHelpers;
class StorageProbe;

// What reading a directory needs besides the directory: the ones above the
// source (a link back to one is not entered), the probe of the storage's
// speed, the threads that help look at its entries (none with one thread)
// and the walk's one cancel flag. All of it outlives every job.
struct ReadContext {
    const std::vector<DirectoryReader::Ancestor> &outside;
    StorageProbe &probe;
    EntryHelpers *helpers;
    const std::atomic<bool> &cancelled;
};
