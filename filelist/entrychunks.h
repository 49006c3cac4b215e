// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directoryreader.h"

#include <atomic>

class StorageProbe;

// The entries of one directory being looked at (a stat each on POSIX), in
// chunks that any thread may take: the thread reading the directory and idle
// ones beside it, so that on storage that makes each look wait, many are in
// flight at once. Each chunk is taken by one thread only, from an atomic
// counter, so that each entry is written by one thread.
//
// Threads: the reading thread starts it and reads the entries again only once
// no helper is left (the pool counts them under its lock); helpers only take
// chunks.
class EntryChunks
{
public:
    void start(const DirectoryReader *dir, DirectoryReader::Listing *listing);
    // Looks at the next chunk of up to size entries; false when none is left.
    bool lookAtNext(size_t size, StorageProbe &probe) noexcept;
    // How many entries nobody took yet.
    size_t left() const;
    // Memory ran out while a chunk was looked at.
    bool ranOutOfMemory() const { return m_outOfMemory.load(std::memory_order_relaxed); }

    int helpers = 0; // threads helping, guarded by the pool's lock

private:
    const DirectoryReader *m_dir = nullptr;
    DirectoryReader::Listing *m_listing = nullptr;
    size_t m_count = 0;
    std::atomic<size_t> m_next{0};
    std::atomic<bool> m_outOfMemory{false};
};

// Threads that may take chunks of a directory's entries beside the thread
// reading it (workerpool.h).
class EntryHelpers
{
public:
    // Looks at every entry of chunks on the calling thread, sharing them with
    // idle threads once that is worth it; returns once all were looked at
    // and no helper is left, or the walk was cancelled. Any thread.
    virtual void lookAtEntries(EntryChunks &chunks) = 0;

protected:
    ~EntryHelpers() = default;
};
