// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryjob.h"

#include "storageprobe.h"

#include <algorithm>
#include <new>

namespace {

int outsideIndex(const std::vector<DirectoryReader::Ancestor> &outside,
                 const DirectoryReader::Identity &identity)
{
    for (size_t i = 0; i < outside.size(); ++i) {
        if (outside[i].identity == identity)
            return int(i);
    }
    return -1;
}

using Child = std::pair<size_t, std::shared_ptr<DirectoryJob>>;

bool entryBefore(const Child &child, size_t entry)
{
    return child.first < entry;
}

} // namespace

bool JobsByPlace::operator()(const std::shared_ptr<DirectoryJob> &a,
                             const std::shared_ptr<DirectoryJob> &b) const
{
    return comparePlaces(a->node->parent.get(), a->node->index, b->node->parent.get(),
                         b->node->index)
            < 0;
}

void DirectoryJob::addChild(size_t entry, std::shared_ptr<DirectoryJob> child)
{
    children.emplace(std::lower_bound(children.begin(), children.end(), entry, entryBefore), entry,
                     std::move(child));
}

bool DirectoryJob::hasChild(size_t entry) const
{
    const auto at = std::lower_bound(children.begin(), children.end(), entry, entryBefore);
    return at != children.end() && at->first == entry;
}

std::shared_ptr<DirectoryJob> DirectoryJob::takeChild(size_t entry)
{
    const auto at = std::lower_bound(children.begin(), children.end(), entry, entryBefore);
    if (at == children.end() || at->first != entry)
        return nullptr;
    std::shared_ptr<DirectoryJob> child = std::move(at->second);
    children.erase(at);
    return child;
}

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
        if (context.helpers)
            context.helpers->lookAtEntries(chunks);
        else
            dir->lookAt(&listing, 0, listing.entries.size());
        if (chunks.ranOutOfMemory())
            throw std::bad_alloc();
        listing.settle();
        listing.sort();
        // Only a directory with subdirectories is opened from again.
        if (!opened && !listing.hasDirectories())
            reader.close();
    } catch (const std::bad_alloc &) {
        listing = {};
        error = DirectoryReader::Error::outOfMemory();
        reader.close();
    }
}
