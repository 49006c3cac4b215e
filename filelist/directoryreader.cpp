// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryreader.h"

#include <algorithm>

void DirectoryReader::Listing::settle()
{
    size_t kept = 0;
    for (const Entry &entry : entries) {
        switch (entry.kind) {
        case Entry::Kind::Directory:
        case Entry::Kind::File:
            entries[kept++] = entry;
            break;
        case Entry::Kind::CannotStat:
            problems.push_back({WalkNotice::Kind::CannotStat, name(entry).toByteArray(), {},
                                Error::fromCode(entry.error)});
            break;
        case Entry::Kind::ToLookAt:
        case Entry::Kind::Left:
            break;
        }
    }
    entries.resize(kept);
}

bool DirectoryReader::Listing::hasDirectories() const
{
    return std::any_of(entries.begin(), entries.end(),
                       [](const Entry &entry) { return entry.kind == Entry::Kind::Directory; });
}
