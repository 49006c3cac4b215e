// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "entrychunks.h"

#include "storageprobe.h"

#include <new>

void EntryChunks::start(const DirectoryReader *dir, DirectoryReader::Listing *listing)
{
    m_dir = dir;
    m_listing = listing;
    m_count = listing->entries.size();
    m_next.store(0, std::memory_order_relaxed);
    m_outOfMemory.store(false, std::memory_order_relaxed);
}

bool EntryChunks::lookAtNext(size_t size, StorageProbe &probe) noexcept
{
    const size_t from = m_next.fetch_add(size, std::memory_order_relaxed);
    if (from >= m_count)
        return false;
    const size_t to = qMin(from + size, m_count);
    try {
        const StorageProbe::Step step(&probe);
        m_dir->lookAt(m_listing, from, to);
        step.done(to - from);
    } catch (const std::bad_alloc &) {
        m_outOfMemory.store(true, std::memory_order_relaxed);
    }
    probe.noteChunk();
    return true;
}

size_t EntryChunks::left() const
{
    const size_t next = m_next.load(std::memory_order_relaxed);
    return next < m_count ? m_count - next : 0;
}
