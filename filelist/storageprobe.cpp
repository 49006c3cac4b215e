// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "storageprobe.h"

namespace {

// Chunks of entries looked at between two checks for waits: small ones
// while the storage is not yet known and once it made a thread wait.
constexpr size_t ProbeChunk = 8;
constexpr size_t FastChunk = 64;
constexpr size_t SlowChunk = 4;
constexpr int ProbeChunks = 32;
// A step of looking at the storage waited when it took far longer than the
// system takes to answer from its cache. How much of the recent looking
// waited is kept in 256ths of one step, fading by a 32nd at each: the storage
// is slow above a quarter, fast again below a sixteenth. A cache partly cold,
// a page of the program read in, or another program taking the core makes a
// step wait now and then on any disk.
constexpr std::chrono::microseconds WaitThreshold{100};
constexpr std::chrono::microseconds WaitPerEntry{20};
constexpr int WaitWeight = 256;
constexpr int SlowScore = WaitWeight * 32 / 4;
constexpr int FastScore = WaitWeight * 32 / 16;

} // namespace

StorageProbe::Step::Step(StorageProbe *probe) : m_probe(probe->m_learning ? probe : nullptr)
{
    if (m_probe)
        m_start = std::chrono::steady_clock::now();
}

void StorageProbe::Step::done(size_t entries) const
{
    if (!m_probe)
        return;
    // A cached look takes a few microseconds an entry; a disk's or a
    // server's answer takes a hundred or more.
    const auto took = std::chrono::steady_clock::now() - m_start;
    m_probe->note(took > WaitThreshold + WaitPerEntry * static_cast<long long>(entries));
}

void StorageProbe::note(bool waited)
{
    const int before = m_score.load(std::memory_order_relaxed);
    const int score = before - before / 32 + (waited ? WaitWeight : 0);
    m_score.store(score, std::memory_order_relaxed);
    if (score < FastScore)
        m_slow.store(false, std::memory_order_relaxed);
    else if (score >= SlowScore)
        m_slow.store(true, std::memory_order_relaxed);
}

size_t StorageProbe::chunkSize(int threads) const
{
    // One thread beside another gains nothing by small chunks: they pay off
    // once the pool has grown for a storage that keeps it waiting.
    if (slow() && threads > 2)
        return SlowChunk;
    return m_chunksSeen.load(std::memory_order_relaxed) < ProbeChunks ? ProbeChunk : FastChunk;
}

void StorageProbe::noteChunk()
{
    if (m_chunksSeen.load(std::memory_order_relaxed) < ProbeChunks)
        m_chunksSeen.fetch_add(1, std::memory_order_relaxed);
}
