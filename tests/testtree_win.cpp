// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
// The parts of the tree builder and the program runner that Windows does its
// own way: times through file handles, attributes instead of modes, links
// only where the system lets this user make them, no FIFOs or sockets.
#include "testtree.h"

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

// A path with every name as it is: through \\?\ Windows neither strips a
// trailing dot or space nor takes "con" or "aux.txt" for a device.
std::wstring exact(const QString &path)
{
    return L"\\\\?\\" + QDir::toNativeSeparators(path).toStdWString();
}

// Whether Windows takes a name in a path for another: "foo." for "foo", "con"
// for a device. Qt goes by paths and cannot remove such a name.
bool rewritten(const std::wstring &name)
{
    const std::wstring probe = L"C:\\d\\" + name;
    wchar_t full[300];
    const DWORD n = GetFullPathNameW(probe.c_str(), DWORD(std::size(full)), full, nullptr);
    return std::wstring(full, qMin<DWORD>(n, std::size(full))) != probe;
}

// Removes what lies below a directory under rewritten names, or everything
// when all, deepest first and by exact names.
void removeRewritten(const std::wstring &dir, bool all)
{
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = dir + L'\\' + name;
        const bool isDir = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        const bool remove = all || rewritten(name);
        if (isDir && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            removeRewritten(path, remove);
        if (!remove)
            continue;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (isDir)
            RemoveDirectoryW(path.c_str());
        else
            DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
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

void TestTree::makeDirectory(const QString &path)
{
    for (qsizetype slash = path.indexOf(u'/');; slash = path.indexOf(u'/', slash + 1)) {
        CreateDirectoryW(exact(slash < 0 ? path : path.left(slash)).c_str(), nullptr);
        if (slash < 0)
            break;
    }
}

bool TestTree::writeFile(const QString &path, const QByteArray &content)
{
    const HANDLE file = CreateFileW(exact(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool done = file != INVALID_HANDLE_VALUE
            && WriteFile(file, content.constData(), DWORD(content.size()), &written, nullptr)
            && written == DWORD(content.size());
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return done;
}

TestTree &TestTree::touch(const QString &relative, qint64 secs, long nanoseconds)
{
    const quint64 ticks = quint64(secs + Q_INT64_C(11644473600)) * 10000000 + quint64(nanoseconds / 100);
    const FILETIME time = {DWORD(ticks), DWORD(ticks >> 32)};
    const HANDLE file = CreateFileW(exact(path(relative)).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool done = file != INVALID_HANDLE_VALUE && SetFileTime(file, nullptr, nullptr, &time);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!done)
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
    const std::wstring p = exact(path(relative));
    const DWORD old = GetFileAttributesW(p.c_str());
    const DWORD readOnly = (mode & 0200) ? 0 : FILE_ATTRIBUTE_READONLY;
    SetFileAttributesW(p.c_str(), (old & ~DWORD(FILE_ATTRIBUTE_READONLY)) | readOnly);
    return *this;
}

TestTree &TestTree::hide(const QString &relative, bool system)
{
    const std::wstring p = exact(path(relative));
    const DWORD old = GetFileAttributesW(p.c_str());
    if (old == INVALID_FILE_ATTRIBUTES
        || !SetFileAttributesW(p.c_str(), old | (system ? FILE_ATTRIBUTE_SYSTEM
                                                        : FILE_ATTRIBUTE_HIDDEN)))
        qFatal("cannot set the attributes of %s", qPrintable(path(relative)));
    return *this;
}

bool canDropPrivileges(QString *why)
{
    *why = QStringLiteral("access on Windows is by ACL, not mode bits, and there is no second "
                          "user to run the program as");
    return false;
}

void shareWithUnprivileged(const QString &) { }

// What the tree made under names Windows rewrites in a path goes here; Qt's
// QTemporaryDir removes the rest.
TestTree::~TestTree()
{
    removeRewritten(exact(m_root), false);
}

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
