// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"

#include <QByteArray>

#include <list>
#include <memory>
#include <mutex>

// A directory the walk has met, from the source down. Each refers to its
// parent, so a path costs one node per level, shared by everything below it:
// memory grows with the depth, not with its square. What the walk needs to
// reopen a directory (the names down to it and its identity) and to place it
// in walk order (its depth and its entry's index) never changes once made.
struct DirectoryNode {
    DirectoryNode(std::shared_ptr<DirectoryNode> up, QByteArray entryName, quint32 entryIndex)
        : parent(std::move(up)), name(std::move(entryName)),
          depth(parent ? parent->depth + 1 : 0), index(entryIndex)
    {
    }

    const std::shared_ptr<DirectoryNode> parent; // null for the source
    const QByteArray name; // NUL-terminated; the source's is its path
    const quint32 depth;   // the source's is 0
    const quint32 index;   // its entry's place in the parent's sorted listing
    // Set by whoever opens it first, before anyone else looks at it.
    DirectoryReader::Identity identity;

private:
    friend class DescriptorCache;
    // Guarded by the cache's lock.
    DirectoryReader reader; // open while the cache holds it
    int pins = 0;
    std::list<std::shared_ptr<DirectoryNode>>::iterator unpinned; // valid while unpinned and open
};

// The walk's open directories, within the process's descriptor budget. A
// directory stays open while someone uses it (it is pinned) and afterwards
// until the cache needs its descriptor for another: the least recently used
// goes first. One that was given up is reopened from its nearest open
// relative: the child the walk just left (by "..") or the nearest open
// ancestor (by the names in between, in one call, or one name at a time when
// the path is too long), and it must be the very directory it was. When the
// system runs out of descriptors, the cache gives one up and tries again.
//
// All of it may be used from any thread.
class DescriptorCache
{
public:
    using Error = DirectoryReader::Error;

    // Keeps a directory open and in place while it lives.
    class Pin
    {
    public:
        Pin() = default;
        Pin(Pin &&other) noexcept { swap(other); }
        Pin &operator=(Pin &&other) noexcept
        {
            Pin(std::move(other)).swap(*this);
            return *this;
        }
        ~Pin() { reset(); }

        explicit operator bool() const { return m_node != nullptr; }
        const DirectoryReader &reader() const { return m_node->reader; }
        void reset();
        // Lets go of a directory that will not be needed again: closed at
        // once unless someone else uses it.
        void drop();

    private:
        friend class DescriptorCache;
        Pin(DescriptorCache *cache, std::shared_ptr<DirectoryNode> node)
            : m_cache(cache), m_node(std::move(node))
        {
        }
        void swap(Pin &other) noexcept
        {
            std::swap(m_cache, other.m_cache);
            m_node.swap(other.m_node);
        }

        DescriptorCache *m_cache = nullptr;
        std::shared_ptr<DirectoryNode> m_node;
    };

    // capacity: how many directories may stay open at once, pinned or not.
    explicit DescriptorCache(size_t capacity) : m_capacity(capacity) { }
    ~DescriptorCache();
    DescriptorCache(const DescriptorCache &) = delete;
    DescriptorCache &operator=(const DescriptorCache &) = delete;

    // Takes the source, opened by its path.
    Pin adopt(const std::shared_ptr<DirectoryNode> &node, DirectoryReader reader);
    // Opens node, a subdirectory of the pinned parent, for the first time.
    Pin open(const Pin &parent, const std::shared_ptr<DirectoryNode> &node, Error *error);
    // The directory of a node opened before, reopened if it was given up;
    // left is a child of it that may still be open.
    Pin acquire(const std::shared_ptr<DirectoryNode> &node, Error *error,
                const std::shared_ptr<DirectoryNode> &left = {});
    // Closes the least recently used directory nobody uses; false when every
    // open one is in use.
    bool giveUpOne();

private:
    // Opens relative below base, trying again while descriptors can be freed.
    DirectoryReader openBelow(const DirectoryReader &base, QByteArrayView relative, Error *error);
    // Reopens node from base, its child left or an open ancestor.
    Pin reopen(Pin base, const std::shared_ptr<DirectoryNode> &node, Error *error);
    // Reopens node from its open ancestor base, one name at a time.
    Pin reopenStepwise(Pin base, const std::shared_ptr<DirectoryNode> &node, Error *error);
    // Makes node hold reader (unless it was opened meanwhile) and pins it.
    Pin install(const std::shared_ptr<DirectoryNode> &node, DirectoryReader reader);
    void unpin(const std::shared_ptr<DirectoryNode> &node, bool keep = true);
    void pinLocked(DirectoryNode &node);
    // With m_lock held: gives up the least recently used directory when
    // there are more than the capacity, or at once; closing takes it, to be
    // closed once the lock is let go.
    void trimLocked(DirectoryReader *closing);
    void giveUpLocked(DirectoryReader *closing);

    const size_t m_capacity;
    std::mutex m_lock;
    // Open and unused, the most recently used first.
    std::list<std::shared_ptr<DirectoryNode>> m_unpinned;
    size_t m_open = 0;
};
