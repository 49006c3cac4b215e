// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryreader.h"

#include <algorithm>

size_t DirectoryReader::Listing::toLookAt() const
{
    return size_t(std::count_if(entries.begin(), entries.end(), [](const Entry &entry) {
        return entry.kind == Entry::Kind::ToLookAt;
    }));
}

void DirectoryReader::Listing::settle()
{
    size_t kept = 0;
    for (const Entry &entry : entries) {
        switch (entry.kind) {
        case Entry::Kind::Directory:
        case Entry::Kind::File:
            entries[kept++] = entry;
            break;
        case Entry::Kind::LineBreak:
            problems.push_back({Problem::Kind::LineBreak, {}, {}});
            break;
        case Entry::Kind::NotText:
            problems.push_back({Problem::Kind::NotText, {}, {}});
            break;
        case Entry::Kind::CannotStat:
            problems.push_back({Problem::Kind::CannotStat, name(entry).toByteArray(),
                                Error::fromCode(int(entry.size))});
            break;
        case Entry::Kind::ToLookAt:
        case Entry::Kind::Left:
            break;
        }
    }
    entries.resize(kept);
}
