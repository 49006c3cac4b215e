// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listfile.h"

#include "filelist.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QDir>

#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

bool syncToDisk(QFileDevice &file, QString *error)
{
#ifdef Q_OS_WIN
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))))
        return true;
    *error = qt_error_string(int(GetLastError()));
#else
    if (::fsync(file.handle()) == 0)
        return true;
    *error = qt_error_string(errno);
#endif
    return false;
}

bool replaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    const QString reason = qt_error_string(int(GetLastError()));
#else
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0) {
        // The rename itself reaches the disk only with its directory.
        const int dir = ::open(QFile::encodeName(QFileInfo(to).absolutePath()).constData(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }
    const QString reason = qt_error_string(errno);
#endif
    qDebug().noquote() << QStringLiteral("filelist: cannot replace %1: %2").arg(to, reason);
    return false;
}

bool publishListFile(const FileList &list, const QString &listFile)
{
    const QString newFile = listFile + QStringLiteral(".new");
    if (list.save(newFile))
        return false;
    if (replaceFile(newFile, listFile))
        return true;
    QFile::remove(newFile);
    return false;
}
