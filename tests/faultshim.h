// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// What the parts of the fault shim (faultinject.cpp: the system calls and
// VORN_FAULT; faultalloc.cpp: allocation; faultsweep.cpp: the sweep) share.

#include <cstddef>

namespace shim {

// The families of calls the sweep counts and fails, each under every name
// the C library (or a sanitizer) offers for it.
enum class Kind { Alloc, Open, Read, Stat, Write, Sync, Rename, Close, Unlink, Lock, Chmod, Thread };

// Set while the shim itself calls on: those calls are the shim's, never
// counted or failed. One per thread, in the static TLS block: reaching it
// must not allocate.
extern thread_local bool inside __attribute__((tls_model("initial-exec")));

struct Inside {
    const bool was = inside;
    Inside() { inside = true; }
    ~Inside() { inside = was; }
    Inside(const Inside &) = delete;
    Inside &operator=(const Inside &) = delete;
};

// The next definition of name after the shim's: the C library's, or the
// sanitizer's that stands in front of it.
void *nextSymbol(const char *name);
template <typename F>
F next(const char *name)
{
    return reinterpret_cast<F>(nextSymbol(name));
}

// Counts a call of kind where calls count and says whether it is to fail,
// errno then set. fd (a descriptor, or the directory path is relative to) and
// path, either absent, say what it works on, for the strike log.
bool sweepStrikes(Kind kind, const char *call, int fd = -1, const char *path = nullptr);
// An open of path: the first one of the source makes this thread count.
void sweepOpening(const char *path);
// Wraps a new thread's start routine when the calling thread counts, so
// that the new one counts too. Returns what to free should the thread not
// start, or null.
void *sweepWrapStart(void *(**start)(void *), void **argument);

// VORN_FAULT's realloc form: whether a reallocation of size is to fail.
bool reallocFaults(std::size_t size);

} // namespace shim
