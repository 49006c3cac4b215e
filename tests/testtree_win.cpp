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

bool isWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Windows takes them through \\?\; Wine passes every path to Linux whole,
// which takes no more than 4,096 bytes.
bool canMakeLongPaths(QString *why)
{
    if (!isWine())
        return true;
    *why = QStringLiteral("Wine cannot make a path longer than Linux takes at once");
    return false;
}

bool useTimeZone(const char *zone, QString *why)
{
    // The zones the tests use, told apart by their offset and summer time.
    TIME_ZONE_INFORMATION z;
    GetTimeZoneInformation(&z);
    const bool utc = z.Bias == 0 && z.DaylightDate.wMonth == 0;
    const bool berlin = z.Bias == -60 && z.DaylightDate.wMonth == 3 && z.StandardDate.wMonth == 10;
    if ((qstrcmp(zone, "UTC") == 0 && utc) || (qstrcmp(zone, "Europe/Berlin") == 0 && berlin))
        return true;
    *why = QStringLiteral("Windows keeps the system's time zone for the whole process, and it is "
                          "not %1 here (Wine takes it from TZ as it starts)")
                   .arg(QLatin1String(zone));
    return false;
}

// Qt removes through \\?\ paths of any length.
bool removeDeepTree(const QString &path)
{
    return QDir(path).removeRecursively();
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
                          const QString &leaf, const QString &side)
{
    QString at = relative;
    for (int i = 0; i < depth; ++i) {
        if (!side.isEmpty())
            file(at + u'/' + side + u'/' + leaf);
        at += u'/' + name;
    }
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

// Names are UTF-16 here; the bytes are taken as UTF-8. A name with a control
// character cannot exist on Windows, so none is made.
TestTree &TestTree::rawFile(const QString &relative, const QByteArray &name)
{
    const QString text = QString::fromUtf8(name);
    for (const QChar c : text) {
        if (c.unicode() < 0x20)
            return dir(relative);
    }
    return file(relative + u'/' + text);
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

TestTree &TestTree::hide(const QString &relative, bool system)
{
    const QString p = QDir::toNativeSeparators(path(relative));
    const DWORD old = GetFileAttributesW(native(p));
    if (old == INVALID_FILE_ATTRIBUTES
        || !SetFileAttributesW(native(p), old | (system ? FILE_ATTRIBUTE_SYSTEM
                                                        : FILE_ATTRIBUTE_HIDDEN)))
        qFatal("cannot set the attributes of %s", qPrintable(p));
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
