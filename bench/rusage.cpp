// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// Runs one command and prints its wall time, CPU time and peak memory. A
// child's peak RSS counts the memory of the process it was forked from, so
// the benchmark measures through this small launcher rather than directly.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s STDOUT-FILE|- COMMAND [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        if (std::strcmp(argv[1], "-") != 0) {
            const int out = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (out < 0 || dup2(out, 1) < 0)
                _exit(127);
        }
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0 || dup2(null, 2) < 0)
            _exit(127);
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return 1;
    struct timespec end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double wallMs = double(end.tv_sec - start.tv_sec) * 1e3
            + double(end.tv_nsec - start.tv_nsec) / 1e6;
    const double cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    std::printf("%.3f %.3f %ld %d\n", wallMs, cpuMs, usage.ru_maxrss,
                WIFEXITED(status) ? WEXITSTATUS(status) : 128);
    return 0;
}
