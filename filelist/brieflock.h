// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <mutex>

// A lock on a mutex that every thread holds only for a moment. Taking it
// spins a little before it sleeps: on a busy lock, a sleep and the wake-up
// that ends it cost far more than the wait, above all in a virtual machine,
// where waking a sleeping core takes an exit to the host. It is a
// std::unique_lock, so condition variables take it as it is.
class BriefLock : public std::unique_lock<std::mutex>
{
public:
    explicit BriefLock(std::mutex &mutex) : std::unique_lock<std::mutex>(mutex, std::defer_lock)
    {
        lock();
    }

    void lock()
    {
        for (int i = 0; i < SpinTries; ++i) {
            if (try_lock())
                return;
            relax();
        }
        std::unique_lock<std::mutex>::lock();
    }

private:
    static constexpr int SpinTries = 100;

    static void relax()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
        asm volatile("yield");
#endif
    }
};
