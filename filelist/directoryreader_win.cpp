// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryreader.h"

#include "longpath.h"
#include "openrelative.h"

#include <windows.h>

#include <optional>

namespace {

using Entry = DirectoryReader::Entry;

// Others may go on reading, writing, renaming and deleting what the walk
// holds open: a deploy must not fail because the list is being made.
constexpr ULONG ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK DirectoryAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;

HANDLE handleOf(qintptr native)
{
    return reinterpret_cast<HANDLE>(native);
}

quint64 ticksOf(const FILETIME &time)
{
    return (quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// File times count 100 ns from 1601, unsigned, up to the year 60,000;
// seconds since 1970, rounded down, hold all of them.
qint64 secondsSinceEpoch(quint64 ticks)
{
    constexpr quint64 TicksPerSecond = 10000000;
    constexpr qint64 SecondsTo1970 = Q_INT64_C(11644473600);
    return qint64(ticks / TicksPerSecond) - SecondsTo1970;
}

// Why a name cannot be a list line: a CR or LF would split it, and a
// character the ANSI code page the list is written in cannot hold exactly
// would name another file or none. None when it can.
std::optional<WalkNotice::Kind> unlistable(QStringView name)
{
    if (name.contains(u'\n') || name.contains(u'\r'))
        return WalkNotice::Kind::LineBreak;
    const auto *wide = reinterpret_cast<const wchar_t *>(name.utf16());
    BOOL lossy = FALSE;
    const bool utf8 = GetACP() == CP_UTF8;
    const int n = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                      wide, int(name.size()), nullptr, 0, nullptr,
                                      utf8 ? nullptr : &lossy);
    if (n > 0 && !lossy)
        return std::nullopt;
    return WalkNotice::Kind::NotText;
}

void settle(Entry *entry, DWORD attributes, quint64 written, qint64 size)
{
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        entry->kind = Entry::Kind::Directory;
    } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
        entry->kind = Entry::Kind::Left;
    } else {
        entry->kind = Entry::Kind::File;
        entry->modifiedSecs = secondsSinceEpoch(written);
        entry->size = size;
    }
}

// Settles what the listing itself tells; links and junctions are left to be
// looked at, as what they lead to. False when the listing can take no more.
bool addEntry(const FILE_ID_BOTH_DIR_INFO &found, DirectoryReader::Listing *listing)
{
    const QStringView name(reinterpret_cast<const char16_t *>(found.FileName),
                           qsizetype(found.FileNameLength / sizeof(WCHAR)));
    const DWORD attributes = found.FileAttributes;
    if (name == u"." || name == u".."
        || (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        return true;
    if (const std::optional<WalkNotice::Kind> why = unlistable(name)) {
        listing->problems.push_back({*why, {}, {}, {}});
        return true;
    }
    Entry entry;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        entry.flags = Entry::Link;
    else
        settle(&entry, attributes, quint64(found.LastWriteTime.QuadPart),
               qint64(found.EndOfFile.QuadPart));
    const QByteArray utf8 = name.toUtf8();
    const bool ascii = utf8.size() == name.size();
    return listing->add(utf8, ascii ? QStringView() : name, entry);
}

// The identity of a newly opened directory; false, with error set, when it
// is no directory or cannot be looked at.
bool identify(HANDLE handle, DirectoryReader::Identity *identity, SystemError *error)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        *error = SystemError::last();
        return false;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = SystemError::fromCode(ERROR_DIRECTORY);
        return false;
    }
    *identity = {quint64(info.dwVolumeSerialNumber),
                 (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    *error = {};
    return true;
}

HANDLE openByPath(const QString &path, ACCESS_MASK access = DirectoryAccess)
{
    return CreateFileW(longPath(path).c_str(), access, ShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Where an open directory is now, as a \\?\ path; empty when the system
// cannot tell.
QString finalPath(HANDLE handle)
{
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(handle, buffer.data(), DWORD(buffer.size()),
                                              FILE_NAME_NORMALIZED);
    return n == 0 || n >= buffer.size() ? QString() : QString::fromWCharArray(buffer.data(), int(n));
}

} // namespace

DirectoryReader DirectoryReader::open(const QByteArray &path, Error *error)
{
    DirectoryReader reader;
    const HANDLE handle = openByPath(QString::fromUtf8(path));
    if (handle == INVALID_HANDLE_VALUE) {
        *error = Error::last();
        return reader;
    }
    reader.m_native = reinterpret_cast<qintptr>(handle);
    if (!identify(handle, &reader.m_identity, error))
        reader.close();
    return reader;
}

// The system takes no ".." below a handle: the parent is opened by the path
// the directory has now, and the caller checks that it is the one expected.
DirectoryReader DirectoryReader::openChild(const DirectoryReader &parent, QByteArrayView relative,
                                           Error *error)
{
    if (relative == QByteArrayView("..")) {
        const QString path = finalPath(handleOf(parent.m_native));
        const qsizetype root = volumeRootSize(path);
        if (root <= 0 || path.size() <= root) {
            *error = Error::fromCode(ERROR_PATH_NOT_FOUND);
            return {};
        }
        return open(path.left(qMax(path.lastIndexOf(u'\\'), root)).toUtf8(), error);
    }
    DirectoryReader reader;
    const HANDLE handle = openRelative(handleOf(parent.m_native),
                                       QString::fromUtf8(relative).replace(u'/', u'\\'),
                                       DirectoryAccess, ShareAll, FILE_OPEN, FILE_DIRECTORY_FILE,
                                       error);
    if (handle == INVALID_HANDLE_VALUE)
        return reader;
    reader.m_native = reinterpret_cast<qintptr>(handle);
    if (!identify(handle, &reader.m_identity, error))
        reader.close();
    return reader;
}

// From the directory's parent up to the root of its drive or share, and no
// further: above a share's root lie no directories of it.
std::vector<DirectoryReader::Ancestor> DirectoryReader::ancestors() const
{
    std::vector<Ancestor> found;
    QString path = finalPath(handleOf(m_native));
    const qsizetype root = volumeRootSize(path);
    if (root <= 0)
        return found;
    while (path.size() > root) {
        path.truncate(qMax(path.lastIndexOf(u'\\'), root));
        // Its identity is all it takes: one that may not be listed counts too.
        const HANDLE handle = openByPath(path, FILE_READ_ATTRIBUTES);
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        Identity identity;
        Error error;
        if (identify(handle, &identity, &error))
            found.push_back({identity, shortPath(path).toUtf8()});
        CloseHandle(handle);
    }
    return found;
}

// A process's handles are not counted against a small table as POSIX
// descriptors are (the kernel allows millions); this bounds how many
// directories the walk holds open and reads ahead at once.
int DirectoryReader::descriptorLimit()
{
    return 8192;
}

void DirectoryReader::close()
{
    if (m_native != -1)
        CloseHandle(handleOf(m_native));
    m_native = -1;
}

// Through the handle, a buffer of entries at a time, each with its size, time
// and attributes: only links and junctions cost a call of their own.
void DirectoryReader::readNames(Listing *listing) const
{
    alignas(LONGLONG) char buffer[65536];
    FILE_INFO_BY_HANDLE_CLASS part = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(handleOf(m_native), part, buffer, sizeof buffer)) {
            const DWORD error = GetLastError();
            // A directory with no entries at all, not even ".", has none to find.
            if (error != ERROR_NO_MORE_FILES
                && !(error == ERROR_FILE_NOT_FOUND && part == FileIdBothDirectoryRestartInfo))
                listing->readError = Error::fromCode(int(error));
            return;
        }
        part = FileIdBothDirectoryInfo;
        for (const char *p = buffer;;) {
            const auto *found = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO *>(p);
            if (!addEntry(*found, listing))
                return;
            if (found->NextEntryOffset == 0)
                break;
            p += found->NextEntryOffset;
        }
    }
}

// A link or junction counts as what it leads to; one whose target is missing
// is left out, as on POSIX.
void DirectoryReader::lookAt(Listing *listing, size_t from, size_t to) const
{
    const HANDLE dir = handleOf(m_native);
    // Other threads look at other entries: no copy of the list is made.
    Entry *const entries = listing->entries.data();
    for (size_t i = from; i < to; ++i) {
        Entry &entry = entries[i];
        if (entry.kind != Entry::Kind::ToLookAt)
            continue;
        const QString name = QString::fromUtf8(listing->name(entry));
        Error error;
        const HANDLE target =
                openRelative(dir, name, FILE_READ_ATTRIBUTES, ShareAll, FILE_OPEN, 0, &error);
        BY_HANDLE_FILE_INFORMATION info;
        if (target != INVALID_HANDLE_VALUE && GetFileInformationByHandle(target, &info)) {
            CloseHandle(target);
            settle(&entry, info.dwFileAttributes, ticksOf(info.ftLastWriteTime),
                   qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow));
            continue;
        }
        if (target != INVALID_HANDLE_VALUE) {
            error = Error::last();
            CloseHandle(target);
        }
        Error linkError;
        const HANDLE link = error.cause() == Error::Cause::Missing
                ? openRelative(dir, name, FILE_READ_ATTRIBUTES, ShareAll, FILE_OPEN,
                               FILE_OPEN_REPARSE_POINT, &linkError)
                : INVALID_HANDLE_VALUE;
        if (link != INVALID_HANDLE_VALUE) {
            CloseHandle(link);
            entry.kind = Entry::Kind::Left;
        } else {
            entry.kind = Entry::Kind::CannotStat;
            entry.error = error.code;
        }
    }
}
