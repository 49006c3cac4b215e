// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QProcess>
#include <QString>

// slowfs mounted over a directory for as long as this lives: a FUSE
// passthrough whose every metadata request waits a fixed time, with nothing
// cached by the kernel, as a directory on a network share answers. The
// benchmark and the tests mount it; where FUSE is missing they say why.
class SlowMount
{
public:
    SlowMount() = default;
    ~SlowMount();
    SlowMount(const SlowMount &) = delete;
    SlowMount &operator=(const SlowMount &) = delete;

    // The slowfs built with the project, if it was.
    static QString builtProgram();

    // Mounts source at mountPoint, an empty directory, answering up to 64
    // requests at once; false, with the reason, when it cannot.
    bool mount(const QString &program, const QString &source, const QString &mountPoint,
               int latencyUs, QString *why);

private:
    QProcess m_process;
    QString m_point;
    QString m_unmount;
};
