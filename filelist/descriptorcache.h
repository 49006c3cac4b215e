// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directorynode.h"

#include <list>
#include <memory>

// The walk's open directories, within the process's descriptor budget. A
// directory stays open while someone uses it (it is pinned) and afterwards
// until the cache needs its descriptor for another: the least recently used
// goes first. One that was given up is reopened from its nearest open
// relative: the child the walk just left (by "..") or the nearest open
// ancestor (by the names in between, in one call, or one name at a time when
// the path is too long), and it must be the very directory it was.
//
// A directory opened elsewhere (by a worker, for the read-ahead) has its
// descriptor reserved before the work is handed out, and installed or given
// back when the walk takes the result: the descriptors in use never exceed
// the budget, and running short is handled here alone.
//
// Threads: only the walk's thread uses the cache, its pins and the nodes'
// open directories. Unpinning never allocates, so that a pin may go while an
// exception unwinds.
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
        void reset() noexcept;

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

    // capacity: how many directories may be open or reserved at once.
    explicit DescriptorCache(size_t capacity) : m_capacity(qMax<size_t>(capacity, 2)) { }
    ~DescriptorCache();
    DescriptorCache(const DescriptorCache &) = delete;
    DescriptorCache &operator=(const DescriptorCache &) = delete;

    // Takes the source, opened by its path.
    Pin adopt(const std::shared_ptr<DirectoryNode> &node, DirectoryReader reader);
    // Reserves a descriptor for a directory about to be opened, giving up
    // the least recently used one if need be; false when every descriptor of
    // the budget is in use.
    bool reserve();
    // Reserves one even over the budget, which leaves the process room for a
    // few more: the walk's own thread must go on.
    void reserveAnyway();
    // Gives a reservation back unused.
    void release() noexcept;
    // Takes a directory opened on a reservation and pins it; the node's
    // identity was set when it was first read, and it is the same directory.
    Pin install(const std::shared_ptr<DirectoryNode> &node, DirectoryReader reader);
    // The directory of a node opened before, reopened if it was given up;
    // left is a child of it that may still be open.
    Pin acquire(const std::shared_ptr<DirectoryNode> &node, Error *error,
                const std::shared_ptr<DirectoryNode> &left = {});
    // The system ran out of descriptors before the budget did: closes the
    // least recently used directory and lowers the budget to what is in use.
    // False when nothing could be closed.
    bool shortOfDescriptors();
    // Descriptors reserved and not yet installed or given back.
    size_t reserved() const { return m_reserved; }
    // Directories pinned.
    size_t pinned() const { return m_pinned.size(); }

private:
    // Reopens node from base, its child left or an open ancestor.
    Pin reopen(Pin base, const std::shared_ptr<DirectoryNode> &node, Error *error);
    // Reopens node from its open ancestor base, one name at a time.
    Pin reopenStepwise(Pin base, const std::shared_ptr<DirectoryNode> &node, Error *error);
    // Opens relative below base on a reservation of its own.
    DirectoryReader openBelow(const DirectoryReader &base, QByteArrayView relative, Error *error);
    Pin pin(const std::shared_ptr<DirectoryNode> &node) noexcept;
    void unpin(DirectoryNode &node) noexcept;
    // Closes the least recently used directory nobody uses; false when every
    // open one is in use.
    bool giveUpOne() noexcept;

    size_t m_capacity;
    size_t m_reserved = 0;
    // Open directories: those in use, and after them those nobody uses, the
    // most recently used first. Nodes move between the two by splicing,
    // which allocates nothing.
    std::list<std::shared_ptr<DirectoryNode>> m_pinned;
    std::list<std::shared_ptr<DirectoryNode>> m_unpinned;
};
