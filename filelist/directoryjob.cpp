// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryjob.h"

#include "listformat.h"
#include "storageprobe.h"
#include "workerpool.h"

#include <algorithm>
#include <new>

namespace {

using Entry = DirectoryReader::Entry;

// Sorts a directory's entries into list order.
void sortListing(DirectoryReader::Listing *listing)
{
    struct Item {
        Entry entry;
        SortKey key;
    };
    // One for each thread, kept from one directory to the next.
    thread_local std::vector<Item> items;
    items.clear();
    for (const Entry &entry : listing->entries)
        items.push_back({entry, SortKey(listing->name(entry))});
    std::sort(items.begin(), items.end(),
              [](const Item &a, const Item &b) { return compareKeys(a.key, b.key) < 0; });
    for (size_t i = 0; i < items.size(); ++i)
        listing->entries[i] = items[i].entry;
    // Not kept for a huge directory: memory goes back once it is listed.
    if (items.capacity() > 1 << 16)
        items = {};
    items.clear();
}

int outsideIndex(const std::vector<DirectoryReader::Ancestor> &outside,
                 const DirectoryReader::Identity &identity)
{
    for (size_t i = 0; i < outside.size(); ++i) {
        if (outside[i].identity == identity)
            return int(i);
    }
    return -1;
}

} // namespace

void DirectoryJob::read(const ReadContext &context, const DirectoryReader *opened) noexcept
{
    try {
        const DirectoryReader *dir = opened;
        if (!dir) {
            reader = DirectoryReader::openChild(*parent, node->name, &error);
            if (error.isSet())
                return;
            identity = reader.identity();
            // A link back to a directory above would be walked without end.
            // Only a link can lead back up (but for a mount of a directory
            // inside itself, which the walk finds on its path when it gets
            // there): the others are not looked for among all ancestors.
            if (node->throughLink)
                leadsBackTo = depthLeadingBack(*node, identity);
            leadsOutside = leadsBackTo < 0 ? outsideIndex(context.outside, identity) : -1;
            if (leadsBack()) {
                reader.close();
                return;
            }
            dir = &reader;
        }
        {
            const StorageProbe::Step step(&context.probe);
            dir->readNames(&listing);
            step.done(listing.entries.size());
        }
        chunks.start(dir, &listing);
        if (context.pool)
            context.pool->lookAtEntries(chunks);
        else
            dir->lookAt(&listing, 0, listing.entries.size());
        if (chunks.ranOutOfMemory())
            throw std::bad_alloc();
        listing.settle();
        sortListing(&listing);
        // Only a directory with subdirectories is opened from again.
        if (!opened && !listing.hasDirectories())
            reader.close();
    } catch (const std::bad_alloc &) {
        listing = {};
        error = DirectoryReader::Error::outOfMemory();
        reader.close();
    }
}
