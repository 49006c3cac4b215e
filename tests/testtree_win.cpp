// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
// The parts of the tree builder and the program runner that Windows does its
// own way: times through file handles, attributes instead of modes, links
// only where the system lets this user make them, no FIFOs or sockets.
#include "testtree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <windows.h>

namespace {

const wchar_t *native(const QString &path)
{
    return reinterpret_cast<const wchar_t *>(path.utf16());
}

// Wine's CreateSymbolicLinkW makes nothing, and Windows makes links only with
// a privilege or in developer mode; tried once on a scratch folder.
bool canMakeLinks()
{
    static const bool can = [] {
        QTemporaryDir scratch;
        const QString link = QDir::toNativeSeparators(scratch.path() + QStringLiteral("/l"));
        CreateSymbolicLinkW(native(link), L".",
                            SYMBOLIC_LINK_FLAG_DIRECTORY
                                    | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
        return QFileInfo(link).isSymLink();
    }();
    return can;
}

} // namespace

// Windows takes them through \\?\; Wine passes every path to Linux whole,
// which takes no more than 4,096 bytes.
bool canMakeLongPaths(QString *why)
{
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        return true;
    *why = QStringLiteral("Wine cannot make a path longer than Linux takes at once");
    return false;
}

bool TestTree::canMake(const QStringList &items, QString *why)
{
    for (const QString &item : items) {
        if (item.contains(QLatin1String(" -> ")) && !canMakeLinks()) {
            *why = QStringLiteral("symbolic links cannot be made here (Wine's "
                                  "CreateSymbolicLinkW is a stub; Windows needs a privilege)");
            return false;
        }
        if (item.endsWith(u'|') || item.endsWith(u'=')) {
            *why = QStringLiteral("Windows has no FIFOs or sockets among files");
            return false;
        }
        if (item.contains(u'"')) {
            *why = QStringLiteral("Windows names cannot hold a double quote");
            return false;
        }
    }
    return true;
}

TestTree &TestTree::touch(const QString &relative, qint64 secs, long nanoseconds)
{
    QFile f(path(relative));
    if (!f.open(QIODevice::ReadWrite)
        || !f.setFileTime(QDateTime::fromMSecsSinceEpoch(secs * 1000 + nanoseconds / 1000000,
                                                         Qt::UTC),
                          QFileDevice::FileModificationTime))
        qFatal("cannot set the time of %s", qPrintable(path(relative)));
    return *this;
}

TestTree &TestTree::link(const QString &relative, const QString &target)
{
    makeParent(path(relative));
    const QString at = QDir::toNativeSeparators(path(relative));
    const bool toDirectory = QFileInfo(QFileInfo(path(relative)).dir(), target).isDir();
    CreateSymbolicLinkW(native(at), native(QDir::toNativeSeparators(target)),
                        (toDirectory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0)
                                | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    return *this;
}

// Windows makes long paths through the \\?\ form that Qt adds by itself.
TestTree &TestTree::chain(const QString &relative, const QString &name, int depth,
                          const QString &leaf)
{
    QString at = relative;
    for (int i = 0; i < depth; ++i)
        at += u'/' + name;
    return file(at + u'/' + leaf);
}

TestTree &TestTree::fifo(const QString &relative)
{
    qFatal("no FIFO on Windows: %s", qPrintable(relative));
}

TestTree &TestTree::socket(const QString &relative)
{
    qFatal("no socket on Windows: %s", qPrintable(relative));
}

// Names are UTF-16 here; the bytes are taken as UTF-8.
TestTree &TestTree::rawFile(const QString &relative, const QByteArray &name)
{
    return file(relative + u'/' + QString::fromUtf8(name));
}

TestTree &TestTree::rawDir(const QString &relative, const QByteArray &name)
{
    return dir(relative + u'/' + QString::fromUtf8(name));
}

// Windows has no modes; a missing owner write bit is the read-only attribute.
TestTree &TestTree::chmod(const QString &relative, int mode)
{
    const QString p = QDir::toNativeSeparators(path(relative));
    const DWORD old = GetFileAttributesW(native(p));
    const DWORD readOnly = (mode & 0200) ? 0 : FILE_ATTRIBUTE_READONLY;
    SetFileAttributesW(native(p), (old & ~DWORD(FILE_ATTRIBUTE_READONLY)) | readOnly);
    return *this;
}

bool canDropPrivileges(QString *why)
{
    *why = QStringLiteral("access on Windows is by ACL, not mode bits, and there is no second "
                          "user to run the program as");
    return false;
}

void shareWithUnprivileged(const QString &) { }

// Names made by rawFile and rawDir are ordinary UTF-16 names here, which
// QTemporaryDir removes itself.
TestTree::~TestTree() = default;

// Windows hands a program its arguments as UTF-16; the bytes are those
// QFile::encodeName gave. A process takes no file size or descriptor cap
// from its parent, and its standard error cannot be a pipe with no reader
// at start; the tests that need one skip there.
void startProgram(QProcess &process, const QList<QByteArray> &arguments,
                  const QProcessEnvironment &environment, const ChildLimits &limits)
{
    QStringList texts;
    for (const QByteArray &argument : arguments)
        texts << QFile::decodeName(argument);
    process.setProcessEnvironment(environment);
    if (limits.wrapper.isEmpty())
        process.start(programPath(), texts);
    else
        process.start(limits.wrapper.first(),
                      limits.wrapper.mid(1) + QStringList{programPath()} + texts);
}
