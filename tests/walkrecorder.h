// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "directorywalk.h"

#include <QString>
#include <QStringList>

#include <chrono>

// Walks a tree as the program does and keeps what the walk handed on, for
// the tests to compare whole: each entry's path, a directory's with a
// trailing "/", and the debug line of each notice, both in walk order.
// Everything but the cancel happens on the calling thread.
class WalkRecorder : public WalkSink
{
public:
    // Walks root with threads reading at once, leaving out the top-level
    // names in excludes; true when the tree was listed exactly.
    bool walk(const QString &root, const QStringList &excludes = {}, int threads = 1);
    // Walks root as walk() does while another thread cancels the walk once
    // delay has passed, as closing the window or a stop signal does.
    DirectoryWalk::Result walkCancelledAfter(const QString &root, int threads,
                                             std::chrono::microseconds delay);

    const QStringList &entries() const { return m_entries; }
    const QStringList &lines() const { return m_lines; }

private:
    void entry(const FileEntry &entry) override;
    void notice(const WalkNotice &notice) override;

    QStringList m_entries;
    QStringList m_lines;
};
