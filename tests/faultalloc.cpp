// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// The fault shim's allocation: every allocator of the C library and every
// operator new, counted and failed by the sweep (under AddressSanitizer
// operator new does not go through malloc). Until the next malloc is known,
// which dlsym itself may allocate to find, a static buffer serves.
#include "faultshim.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>

using shim::Kind;

namespace {

struct Allocators {
    void *(*malloc)(size_t);
    void *(*calloc)(size_t, size_t);
    void *(*realloc)(void *, size_t);
    void (*free)(void *);
    int (*posixMemalign)(void **, size_t, size_t);
    void *(*alignedAlloc)(size_t, size_t);
    void *(*memalign)(size_t, size_t);
} real;
std::atomic<bool> known{false};
thread_local bool finding __attribute__((tls_model("initial-exec"))) = false;

alignas(64) char bootstrap[1 << 16];
std::atomic<size_t> bootstrapUsed{0};

bool fromBootstrap(const void *p)
{
    return p >= bootstrap && p < bootstrap + sizeof bootstrap;
}

void *bootstrapAllocate(size_t size)
{
    const size_t at = bootstrapUsed.fetch_add((size + 63) & ~size_t(63));
    return at + size <= sizeof bootstrap ? bootstrap + at : nullptr;
}

// False while dlsym, looking for them, allocates.
bool findAllocators()
{
    if (known.load(std::memory_order_acquire))
        return true;
    if (finding)
        return false;
    finding = true;
    real.malloc = shim::next<decltype(real.malloc)>("malloc");
    real.calloc = shim::next<decltype(real.calloc)>("calloc");
    real.realloc = shim::next<decltype(real.realloc)>("realloc");
    real.free = shim::next<decltype(real.free)>("free");
    real.posixMemalign = shim::next<decltype(real.posixMemalign)>("posix_memalign");
    real.alignedAlloc = shim::next<decltype(real.alignedAlloc)>("aligned_alloc");
    real.memalign = shim::next<decltype(real.memalign)>("memalign");
    known.store(true, std::memory_order_release);
    finding = false;
    return true;
}

bool fails(const char *call)
{
    return shim::sweepStrikes(Kind::Alloc, call);
}

} // namespace

extern "C" {

#ifndef VORN_SHIM_REALLOC_ONLY

void *malloc(size_t size)
{
    if (!findAllocators())
        return bootstrapAllocate(size);
    return fails("malloc") ? nullptr : real.malloc(size);
}

void *calloc(size_t count, size_t size)
{
    if (!findAllocators())
        return bootstrapAllocate(count * size); // static, so zeroed
    return fails("calloc") ? nullptr : real.calloc(count, size);
}

#endif

void *realloc(void *block, size_t size)
{
    if (!findAllocators())
        return bootstrapAllocate(size);
    if (shim::reallocFaults(size) || fails("realloc"))
        return nullptr;
    if (!fromBootstrap(block))
        return real.realloc(block, size);
    void *moved = real.malloc(size);
    if (moved)
        std::memcpy(moved, block,
                    std::min(size, size_t(bootstrap + sizeof bootstrap - static_cast<char *>(block))));
    return moved;
}

#ifndef VORN_SHIM_REALLOC_ONLY

void free(void *block)
{
    if (!fromBootstrap(block) && findAllocators())
        real.free(block);
}

int posix_memalign(void **block, size_t alignment, size_t size)
{
    if (!findAllocators())
        return ENOMEM;
    return fails("posix_memalign") ? ENOMEM : real.posixMemalign(block, alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size)
{
    if (!findAllocators() || fails("aligned_alloc")) {
        errno = ENOMEM;
        return nullptr;
    }
    return real.alignedAlloc(alignment, size);
}

void *memalign(size_t alignment, size_t size)
{
    if (!findAllocators() || fails("memalign")) {
        errno = ENOMEM;
        return nullptr;
    }
    return real.memalign(alignment, size);
}

#endif

} // extern "C"

#ifndef VORN_SHIM_REALLOC_ONLY

// Each operator new, failing as it would (failure: throw or return), else
// the next one: libstdc++'s calls malloc, which does not count again.
#define VORN_NEW(function, symbol, failure, params, args)                                        \
    void *function params                                                                         \
    {                                                                                             \
        if (fails(symbol))                                                                        \
            failure;                                                                              \
        static const auto next = shim::next<void *(*) params>(symbol);                           \
        const shim::Inside inside;                                                                \
        return next args;                                                                         \
    }
#define VORN_THROWS throw std::bad_alloc()
#define VORN_NULL return nullptr

VORN_NEW(operator new, "_Znwm", VORN_THROWS, (std::size_t size), (size))
VORN_NEW(operator new[], "_Znam", VORN_THROWS, (std::size_t size), (size))
VORN_NEW(operator new, "_ZnwmSt11align_val_t", VORN_THROWS,
         (std::size_t size, std::align_val_t align), (size, align))
VORN_NEW(operator new[], "_ZnamSt11align_val_t", VORN_THROWS,
         (std::size_t size, std::align_val_t align), (size, align))
VORN_NEW(operator new, "_ZnwmRKSt9nothrow_t", VORN_NULL,
         (std::size_t size, const std::nothrow_t &tag) noexcept, (size, tag))
VORN_NEW(operator new[], "_ZnamRKSt9nothrow_t", VORN_NULL,
         (std::size_t size, const std::nothrow_t &tag) noexcept, (size, tag))
VORN_NEW(operator new, "_ZnwmSt11align_val_tRKSt9nothrow_t", VORN_NULL,
         (std::size_t size, std::align_val_t align, const std::nothrow_t &tag) noexcept,
         (size, align, tag))
VORN_NEW(operator new[], "_ZnamSt11align_val_tRKSt9nothrow_t", VORN_NULL,
         (std::size_t size, std::align_val_t align, const std::nothrow_t &tag) noexcept,
         (size, align, tag))

#endif
