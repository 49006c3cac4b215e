// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "slowmount.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <sys/stat.h>

SlowMount::~SlowMount()
{
    if (m_point.isEmpty())
        return;
    QProcess::execute(m_unmount, {QStringLiteral("-u"), m_point});
    if (!m_process.waitForFinished(10000))
        m_process.kill();
}

QString SlowMount::builtProgram()
{
    return QStringLiteral(VORN_SLOWFS);
}

bool SlowMount::mount(const QString &program, const QString &source, const QString &mountPoint,
                      int latencyUs, QString *why)
{
    if (!QFileInfo(program).isExecutable()) {
        *why = program + QStringLiteral(" was not built (it needs fuse3, libfuse3-dev and pkg-config)");
        return false;
    }
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse"))) {
        *why = QStringLiteral("there is no /dev/fuse on this machine");
        return false;
    }
    m_unmount = QStandardPaths::findExecutable(QStringLiteral("fusermount3"));
    if (m_unmount.isEmpty()) {
        *why = QStringLiteral("fusermount3 is not installed (package fuse3)");
        return false;
    }
    const QByteArray point = QFile::encodeName(mountPoint);
    struct stat before;
    if (::stat(point.constData(), &before) != 0) {
        *why = mountPoint + QStringLiteral(" is not there to mount on");
        return false;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, {source, mountPoint, QStringLiteral("--latency-us=%1").arg(latencyUs),
                              QStringLiteral("-o"), QStringLiteral("max_threads=64"),
                              QStringLiteral("-f")});
    // Mounted once the mount point is on another device.
    for (int i = 0; i < 500 && m_process.state() != QProcess::NotRunning; ++i) {
        struct stat now;
        if (::stat(point.constData(), &now) == 0 && now.st_dev != before.st_dev) {
            m_point = mountPoint;
            return true;
        }
        QThread::msleep(10);
    }
    m_process.kill();
    m_process.waitForFinished();
    *why = QStringLiteral("slowfs did not mount on ") + mountPoint;
    return false;
}
