// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// Preloaded into the program to make one call fail the way damaged storage or
// an exhausted system would, or to hold it at a chosen moment. VORN_FAULT is
// "CALL:TARGET:ERRNO[:AFTER]" or "CALL:TARGET:hold:GATE". CALL is openat,
// fstatat, getdents64, fsync, flock, pthread_create or realloc; TARGET is the
// name given to openat or fstatat, the path of the file the others are given,
// "-" for pthread_create, and for realloc, by which Qt's containers grow, the
// least size that fails. AFTER calls on that target succeed before every later one
// fails with ERRNO (a number). The first held call creates the file GATE and
// waits until it is gone, then goes on; after 20 seconds it removes GATE
// itself, so that a program that cannot answer does not hang a test. A test
// that preloads this into itself sets the fault with vorn_fault().
// The sweep (faultsweep.cpp) counts and fails every call of a kind: the
// wrappers below cover each kind's names.
#include "faultshim.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using shim::Kind;
using shim::next;
using shim::sweepStrikes;

namespace {

struct Fault {
    char call[16] = {};
    char target[PATH_MAX] = {};
    char gate[PATH_MAX] = {};
    int error = 0;
    int after = 0;
    std::atomic<int> seen{0};
};

// Static: realloc would come back here. A test sets it anew only
// between runs, while no call looks at it.
Fault current;

void set(const char *setting)
{
    Fault &f = current;
    f.gate[0] = '\0';
    f.after = 0;
    f.seen = 0;
    if (!setting
        || (std::sscanf(setting, "%15[^:]:%4095[^:]:hold:%4095[^\n]", f.call, f.target, f.gate) != 3
            && std::sscanf(setting, "%15[^:]:%4095[^:]:%d:%d", f.call, f.target, &f.error, &f.after)
                    < 3))
        f.call[0] = '\0';
}

// Read once loaded, not at the first call: a sanitizer's runtime calls
// realloc while the loader starts it, before the environment can be read.
[[gnu::constructor]] void fromEnvironment()
{
    set(std::getenv("VORN_FAULT"));
}

void hold(const char *gate)
{
    const shim::Inside inside;
    static auto open = next<int (*)(int, const char *, int, ...)>("openat");
    const int fd = open(AT_FDCWD, gate, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0)
        ::close(fd);
    const struct timespec pause = {0, 10000000};
    for (int i = 0; i < 2000 && ::access(gate, F_OK) == 0; ++i)
        ::nanosleep(&pause, nullptr);
    ::unlink(gate);
}

// Whether this call on this target (null: any) is to fail.
bool strikes(const char *call, const char *target)
{
    Fault &f = current;
    if (std::strcmp(f.call, call) != 0 || (target && std::strcmp(f.target, target) != 0))
        return false;
    const int seen = f.seen.fetch_add(1);
    if (seen < f.after)
        return false;
    if (f.gate[0]) {
        if (seen == f.after)
            hold(f.gate);
        return false;
    }
    errno = f.error;
    return true;
}

// The path a descriptor was opened by, as the system tells it.
const char *pathOf(int fd, char (&path)[PATH_MAX])
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    path[n < 0 ? 0 : n] = '\0';
    return path;
}

} // namespace

bool shim::reallocFaults(std::size_t size)
{
    return std::strcmp(current.call, "realloc") == 0
            && size >= std::strtoull(current.target, nullptr, 10) && strikes("realloc", nullptr);
}

extern "C" {

void vorn_fault(const char *setting)
{
    set(setting);
}

// The mode argument is there only when a file may be created.
#define VORN_MODE_ARGUMENT(flags, mode)                                                          \
    mode_t mode = 0;                                                                              \
    if ((flags) & (O_CREAT | O_TMPFILE)) {                                                        \
        va_list args;                                                                             \
        va_start(args, flags);                                                                    \
        mode = mode_t(va_arg(args, int));                                                         \
        va_end(args);                                                                             \
    }

// A call of the sweep's kind that fails with -1 or goes on to the next
// definition of the same name.
#define VORN_SWEPT(kind, result, name, params, args, fd, path)                                   \
    result name params                                                                            \
    {                                                                                             \
        if (sweepStrikes(kind, #name, fd, path))                                                  \
            return -1;                                                                            \
        static const auto real = next<result(*) params>(#name);                                   \
        return real args;                                                                         \
    }

int openat(int dirfd, const char *path, int flags, ...)
{
    VORN_MODE_ARGUMENT(flags, mode)
    shim::sweepOpening(path);
    if (strikes("openat", path) || sweepStrikes(Kind::Open, "openat", dirfd, path))
        return -1;
    static auto real = next<int (*)(int, const char *, int, ...)>("openat");
    return real(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    VORN_MODE_ARGUMENT(flags, mode)
    return openat(dirfd, path, flags, mode);
}

int open(const char *path, int flags, ...)
{
    VORN_MODE_ARGUMENT(flags, mode)
    shim::sweepOpening(path);
    if (sweepStrikes(Kind::Open, "open", AT_FDCWD, path))
        return -1;
    static auto real = next<int (*)(const char *, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    VORN_MODE_ARGUMENT(flags, mode)
    return open(path, flags, mode);
}

int fstatat(int dirfd, const char *path, struct stat *st, int flags)
{
    if (strikes("fstatat", path) || sweepStrikes(Kind::Stat, "fstatat", dirfd, path))
        return -1;
    static auto real = next<int (*)(int, const char *, struct stat *, int)>("fstatat");
    return real(dirfd, path, st, flags);
}

int fstatat64(int dirfd, const char *path, struct stat64 *st, int flags)
{
    // One and the same structure on 64-bit systems.
    return fstatat(dirfd, path, reinterpret_cast<struct stat *>(st), flags);
}

VORN_SWEPT(Kind::Stat, int, fstat, (int fd, struct stat *st), (fd, st), fd, nullptr)
VORN_SWEPT(Kind::Stat, int, fstat64, (int fd, struct stat64 *st), (fd, st), fd, nullptr)
VORN_SWEPT(Kind::Stat, int, stat, (const char *path, struct stat *st), (path, st), AT_FDCWD, path)
VORN_SWEPT(Kind::Stat, int, stat64, (const char *path, struct stat64 *st), (path, st), AT_FDCWD, path)
VORN_SWEPT(Kind::Stat, int, lstat, (const char *path, struct stat *st), (path, st), AT_FDCWD, path)
VORN_SWEPT(Kind::Stat, int, lstat64, (const char *path, struct stat64 *st), (path, st), AT_FDCWD,
           path)
VORN_SWEPT(Kind::Stat, int, statx,
           (int dirfd, const char *path, int flags, unsigned mask, struct statx *st),
           (dirfd, path, flags, mask, st), dirfd, path)

ssize_t getdents64(int fd, void *buffer, size_t size)
{
    char path[PATH_MAX];
    if (strikes("getdents64", pathOf(fd, path)) || sweepStrikes(Kind::Read, "getdents64", fd))
        return -1;
    static auto real = next<ssize_t (*)(int, void *, size_t)>("getdents64");
    return real(fd, buffer, size);
}

VORN_SWEPT(Kind::Read, ssize_t, read, (int fd, void *buffer, size_t size), (fd, buffer, size), fd,
           nullptr)

// Descriptors 0 to 2 carry the program's lines, not its list.
ssize_t write(int fd, const void *data, size_t size)
{
    if (fd > 2 && sweepStrikes(Kind::Write, "write", fd))
        return -1;
    static auto real = next<ssize_t (*)(int, const void *, size_t)>("write");
    return real(fd, data, size);
}

int fsync(int fd)
{
    char path[PATH_MAX];
    if (strikes("fsync", pathOf(fd, path)) || sweepStrikes(Kind::Sync, "fsync", fd))
        return -1;
    static auto real = next<int (*)(int)>("fsync");
    return real(fd);
}

VORN_SWEPT(Kind::Sync, int, fdatasync, (int fd), (fd), fd, nullptr)
VORN_SWEPT(Kind::Rename, int, rename, (const char *from, const char *to), (from, to), AT_FDCWD, from)
VORN_SWEPT(Kind::Rename, int, renameat, (int fromFd, const char *from, int toFd, const char *to),
           (fromFd, from, toFd, to), fromFd, from)
VORN_SWEPT(Kind::Rename, int, renameat2,
           (int fromFd, const char *from, int toFd, const char *to, unsigned flags),
           (fromFd, from, toFd, to, flags), fromFd, from)
VORN_SWEPT(Kind::Unlink, int, unlink, (const char *path), (path), AT_FDCWD, path)
VORN_SWEPT(Kind::Unlink, int, unlinkat, (int dirfd, const char *path, int flags),
           (dirfd, path, flags), dirfd, path)
VORN_SWEPT(Kind::Chmod, int, fchmod, (int fd, mode_t mode), (fd, mode), fd, nullptr)
VORN_SWEPT(Kind::Chmod, int, fchown, (int fd, uid_t owner, gid_t group), (fd, owner, group), fd,
           nullptr)

// Linux releases the descriptor whatever close() reports.
int close(int fd)
{
    const bool fails = sweepStrikes(Kind::Close, "close", fd);
    static auto real = next<int (*)(int)>("close");
    const int result = real(fd);
    if (!fails)
        return result;
    errno = EIO;
    return -1;
}

int flock(int fd, int operation)
{
    char path[PATH_MAX];
    if (strikes("flock", pathOf(fd, path)) || sweepStrikes(Kind::Lock, "flock", fd))
        return -1;
    static auto real = next<int (*)(int, int)>("flock");
    return real(fd, operation);
}

int pthread_create(pthread_t *thread, const pthread_attr_t *attributes, void *(*start)(void *),
                   void *argument)
{
    if (strikes("pthread_create", "-") || sweepStrikes(Kind::Thread, "pthread_create"))
        return errno;
    static auto real = next<int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *)>(
            "pthread_create");
    void *const wrapped = shim::sweepWrapStart(&start, &argument);
    const int result = real(thread, attributes, start, argument);
    if (result != 0 && wrapped) {
        const shim::Inside inside;
        std::free(wrapped);
    }
    return result;
}

} // extern "C"
