// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// The sweep's side of the fault shim: every call of one kind counted, and the
// Nth failed, once or from then on (tst_faultsweep drives it). Only the calls
// of the walk and the writer count: those of the thread that opens the source
// (the first open of exactly VORN_SWEEP_SOURCE), from that open on, and of the
// threads that counted threads start; the window's thread allocates on timers
// and would make the count depend on timing. Starting a thread counts on every
// thread from the start, the walk's own thread included.
// VORN_SWEEP_FAIL is "KIND:N" (the Nth only), "KIND:N+" (the Nth and every
// later one), either followed by ":stop" to send the process SIGTERM after the
// first failure; unset, nothing fails. KIND is alloc, open, emfile (an open
// failing with EMFILE), read, stat, write, sync, rename, close, unlink, lock,
// chmod or thread. Into the directory VORN_SWEEP_OUT go "counts" (each kind's
// count at exit), "strikes" (a line for each failure: call, N, thread,
// CLOCK_MONOTONIC milliseconds, path) and "crash" (on a fatal signal, its
// number and the frames as module and offset).
#include "faultshim.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

thread_local bool shim::inside __attribute__((tls_model("initial-exec"))) = false;

namespace {

using shim::Kind;

struct KindName {
    const char *name;
    Kind kind;
    int error;
};
constexpr KindName Kinds[] = {
        {"alloc", Kind::Alloc, ENOMEM}, {"open", Kind::Open, EIO},     {"emfile", Kind::Open, EMFILE},
        {"read", Kind::Read, EIO},      {"stat", Kind::Stat, EIO},     {"write", Kind::Write, EIO},
        {"sync", Kind::Sync, EIO},      {"rename", Kind::Rename, EIO}, {"close", Kind::Close, EIO},
        {"unlink", Kind::Unlink, EIO},  {"lock", Kind::Lock, EIO},     {"chmod", Kind::Chmod, EIO},
        {"thread", Kind::Thread, EAGAIN}};
constexpr int KindCount = int(Kind::Thread) + 1;

// Set once at load, before any thread but the first runs.
struct Settings {
    bool on = false;
    char source[PATH_MAX] = {};
    char out[PATH_MAX] = {};
    int kind = -1; // none fails
    long at = 0;
    bool fromThenOn = false;
    bool stop = false;
    int error = 0;
    int log = -1;
} settings;

std::atomic<bool> triggered{false};
std::atomic<bool> stopped{false};
std::atomic<long> counts[KindCount];

thread_local bool counted __attribute__((tls_model("initial-exec"))) = false;

// A file of VORN_SWEEP_OUT's, opened by the shim and so never counted.
int outFile(const char *name, int flags)
{
    char path[PATH_MAX + 16];
    std::snprintf(path, sizeof path, "%s/%s", settings.out, name);
    return ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
}

void say(int fd, const char *text)
{
    for (size_t left = std::strlen(text); left > 0;) {
        const ssize_t n = ::write(fd, text, left);
        if (n <= 0)
            return;
        text += n;
        left -= size_t(n);
    }
}

// Writes the frames, then dies by the same signal.
void crashed(int number)
{
    const shim::Inside inside;
    const int fd = outFile("crash", O_APPEND);
    char line[PATH_MAX + 128];
    std::snprintf(line, sizeof line, "signal %d\n", number);
    say(fd, line);
    void *frames[64];
    const int depth = backtrace(frames, 64);
    for (int i = 0; i < depth; ++i) {
        Dl_info info = {};
        if (dladdr(frames[i], &info) && info.dli_fname)
            std::snprintf(line, sizeof line, "%s +0x%lx %s\n", info.dli_fname,
                          static_cast<unsigned long>(static_cast<char *>(frames[i])
                                                     - static_cast<char *>(info.dli_fbase)),
                          info.dli_sname ? info.dli_sname : "?");
        else
            std::snprintf(line, sizeof line, "? +%p ?\n", frames[i]);
        say(fd, line);
    }
    ::close(fd);
    std::raise(number);
}

[[gnu::constructor]] void fromEnvironment()
{
    const shim::Inside inside;
    const char *source = std::getenv("VORN_SWEEP_SOURCE");
    const char *out = std::getenv("VORN_SWEEP_OUT");
    if (!source || !out)
        return;
    std::snprintf(settings.source, sizeof settings.source, "%s", source);
    std::snprintf(settings.out, sizeof settings.out, "%s", out);
    if (const char *fail = std::getenv("VORN_SWEEP_FAIL")) {
        char name[16] = {};
        int used = 0;
        if (std::sscanf(fail, "%15[^:]:%ld%n", name, &settings.at, &used) == 2) {
            for (const KindName &k : Kinds) {
                if (std::strcmp(k.name, name) == 0) {
                    settings.kind = int(k.kind);
                    settings.error = k.error;
                }
            }
            settings.fromThenOn = fail[used] == '+';
            settings.stop = std::strstr(fail + used, ":stop") != nullptr;
        }
    }
    settings.log = outFile("strikes", O_APPEND);
    // Loads what backtrace() needs now, not in a crashing process.
    void *frame;
    backtrace(&frame, 1);
    // Once: a fault while the frames are taken (the unwinder may meet what
    // killed the program) ends the process by the default action at once.
    struct sigaction action = {};
    action.sa_handler = crashed;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (const int number : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE})
        sigaction(number, &action, nullptr);
    settings.on = true;
}

[[gnu::destructor]] void writeCounts()
{
    if (!settings.on)
        return;
    const shim::Inside inside;
    const int fd = outFile("counts", O_TRUNC);
    char line[64];
    for (const KindName &k : Kinds) {
        std::snprintf(line, sizeof line, "%s %ld\n", k.name, counts[int(k.kind)].load());
        say(fd, line);
    }
    ::close(fd);
}

void logStrike(const char *call, long n, int fd, const char *path)
{
    char where[PATH_MAX] = {};
    if (fd >= 0 && (!path || path[0] != '/')) {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t size = readlink(link, where, sizeof where - 1);
        where[size < 0 ? 0 : size] = '\0';
    }
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[2 * PATH_MAX + 128];
    std::snprintf(line, sizeof line, "%s %ld %d %lld %s%s%s\n", call, n, int(gettid()),
                  static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000, where,
                  where[0] && path ? "/" : "", path ? path : "");
    say(settings.log, line);
}

struct Start {
    void *(*routine)(void *);
    void *argument;
};

void *countedStart(void *wrapped)
{
    const Start start = *static_cast<Start *>(wrapped);
    {
        const shim::Inside inside;
        std::free(wrapped);
    }
    counted = true;
    return start.routine(start.argument);
}

} // namespace

void *shim::nextSymbol(const char *name)
{
    const Inside guard;
    return dlsym(RTLD_NEXT, name);
}

bool shim::sweepStrikes(Kind kind, const char *call, int fd, const char *path)
{
    if (!settings.on || inside || (kind != Kind::Thread && !counted))
        return false;
    const long n = counts[int(kind)].fetch_add(1, std::memory_order_relaxed) + 1;
    if (int(kind) != settings.kind || n < settings.at || (!settings.fromThenOn && n != settings.at))
        return false;
    {
        const Inside guard;
        logStrike(call, n, fd, path);
        if (settings.stop && !stopped.exchange(true))
            ::kill(::getpid(), SIGTERM);
    }
    errno = settings.error;
    return true;
}

void shim::sweepOpening(const char *path)
{
    if (settings.on && !inside && path && !triggered.load()
        && std::strcmp(path, settings.source) == 0 && !triggered.exchange(true))
        counted = true;
}

void *shim::sweepWrapStart(void *(**routine)(void *), void **argument)
{
    if (!settings.on || inside || !counted)
        return nullptr;
    const Inside guard;
    auto *start = static_cast<Start *>(std::malloc(sizeof(Start)));
    if (!start)
        return nullptr;
    *start = {*routine, *argument};
    *routine = countedStart;
    *argument = start;
    return start;
}
