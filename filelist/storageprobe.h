// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>

// Learns from how long the steps of reading take whether the storage makes
// the threads wait: a local disk answers from its cache in microseconds, a
// share's server in a millisecond or more. On slow storage many requests
// must be in flight, so the pool grows and entries are shared out in small
// chunks; on a fast disk a few threads cost less than many.
//
// Threads: any thread times its own steps; the score is a rate kept in
// relaxed atomics, where an update lost to another thread's does not matter.
class StorageProbe
{
public:
    // One step of looking at the storage, timed.
    class Step
    {
    public:
        explicit Step(StorageProbe *probe);
        void done(size_t entries) const;

    private:
        StorageProbe *m_probe; // null when nothing is to be learnt
        std::chrono::steady_clock::time_point m_start;
    };

    // learning: false with one thread, which has nobody to share with.
    explicit StorageProbe(bool learning) : m_learning(learning) { }

    // Whether recent steps mostly waited.
    bool slow() const { return m_slow.load(std::memory_order_relaxed); }
    // Entries a thread looks at between two checks, given how many threads
    // share the work.
    size_t chunkSize(int threads) const;
    void noteChunk();

private:
    void note(bool waited);

    const bool m_learning;
    std::atomic<bool> m_slow{false};
    std::atomic<int> m_score{0};
    std::atomic<int> m_chunksSeen{0};
};
