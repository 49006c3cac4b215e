// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "walkrecorder.h"

bool WalkRecorder::walk(const QString &root, const QStringList &excludes, int threads)
{
    DirectoryWalk walk(root.toUtf8(), excludes, {}, threads);
    return walk.run(*this) == DirectoryWalk::Result::Exact;
}

void WalkRecorder::entry(const FileEntry &entry)
{
    m_entries << entry.name() + (entry.isDirectory() ? QStringLiteral("/") : QString());
}

void WalkRecorder::notice(const WalkNotice &notice)
{
    m_lines << notice.text();
}
