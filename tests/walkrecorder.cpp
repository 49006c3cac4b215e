// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "walkrecorder.h"

#include <thread>

bool WalkRecorder::walk(const QString &root, const QStringList &excludes, int threads)
{
    DirectoryWalk walk(root.toUtf8(), excludes, {}, threads);
    return walk.run(*this) == DirectoryWalk::Result::Exact;
}

DirectoryWalk::Result WalkRecorder::walkCancelledAfter(const QString &root, int threads,
                                                       std::chrono::microseconds delay)
{
    DirectoryWalk walk(root.toUtf8(), {}, {}, threads);
    std::thread canceller([&walk, delay] {
        std::this_thread::sleep_for(delay);
        walk.cancel();
    });
    const DirectoryWalk::Result result = walk.run(*this);
    canceller.join();
    return result;
}

void WalkRecorder::entry(const FileEntry &entry)
{
    m_entries << entry.name() + (entry.isDirectory() ? QStringLiteral("/") : QString());
}

void WalkRecorder::notice(const WalkNotice &notice)
{
    m_lines << notice.text();
}
