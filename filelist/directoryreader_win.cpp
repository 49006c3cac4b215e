// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryreader.h"

#include "longpath.h"


#include <windows.h>

namespace {

using Entry = DirectoryReader::Entry;

DirectoryReader::Identity identityOf(const BY_HANDLE_FILE_INFORMATION &info)
{
    return {quint64(info.dwVolumeSerialNumber),
            (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

qint64 secondsSinceEpoch(const FILETIME &time)
{
    // 100-nanosecond ticks since 1601-01-01, rounded down to whole seconds.
    const qint64 ticks = qint64((quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    constexpr qint64 TicksTo1970 = Q_INT64_C(116444736000000000);
    const qint64 since = ticks - TicksTo1970;
    return since / 10000000 - (since % 10000000 < 0 ? 1 : 0);
}

// Opens a directory, or a file or link target to look at it, following links.
HANDLE openToInspect(const QString &path, DWORD flags = 0)
{
    return CreateFileW(longPath(path).c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// Whether a name can be a list line: no CR or LF to split it, and every
// character held exactly by the ANSI code page the list is written in, so
// that it names this file and no other.
Entry::Kind checkName(const wchar_t *name)
{
    for (const wchar_t *c = name; *c; ++c) {
        if (*c == L'\n' || *c == L'\r')
            return Entry::Kind::LineBreak;
    }
    BOOL lossy = FALSE;
    const bool utf8 = GetACP() == CP_UTF8;
    const int n = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                      name, -1, nullptr, 0, nullptr, utf8 ? nullptr : &lossy);
    return n > 0 && !lossy ? Entry::Kind::ToLookAt : Entry::Kind::NotText;
}

// Settles what the listing itself tells; links and junctions are left to be
// looked at, as what they lead to.
void addEntry(const WIN32_FIND_DATAW &found, DirectoryReader::Listing *listing)
{
    const wchar_t *name = found.cFileName;
    const DWORD attributes = found.dwFileAttributes;
    if ((name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))
        || (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        return;
    Entry entry;
    entry.kind = checkName(name);
    entry.nameStart = listing->names.size();
    if (entry.kind == Entry::Kind::ToLookAt) {
        const QByteArray utf8 = QString::fromWCharArray(name).toUtf8();
        entry.nameSize = qint32(utf8.size());
        listing->names.append(utf8);
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            entry.kind = Entry::Kind::ToLookAt;
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            entry.kind = Entry::Kind::Directory;
        } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
            entry.kind = Entry::Kind::Left;
        } else {
            entry.kind = Entry::Kind::File;
            entry.modifiedSecs = secondsSinceEpoch(found.ftLastWriteTime);
            entry.size = qint64((quint64(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
        }
    }
    listing->names.append('\0');
    listing->entries.push_back(entry);
}

} // namespace

// Windows opens by path: the handle holds the directory for its identity and
// for the list file, and the path, with its parent's, is what is listed.
DirectoryReader DirectoryReader::open(const QByteArray &path, Error *error)
{
    DirectoryReader reader;
    reader.m_path = path;
    const HANDLE handle = openToInspect(QString::fromUtf8(path));
    if (handle == INVALID_HANDLE_VALUE) {
        *error = Error::last();
        return reader;
    }
    reader.m_native = reinterpret_cast<qintptr>(handle);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        *error = Error::last();
        reader.close();
        return reader;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = Error::fromCode(ERROR_DIRECTORY);
        reader.close();
        return reader;
    }
    *error = {};
    reader.m_identity = identityOf(info);
    return reader;
}

DirectoryReader DirectoryReader::openChild(const DirectoryReader &parent, QByteArrayView relative,
                                           Error *error)
{
    return open(parent.m_path + '/' + relative.toByteArray(), error);
}

std::vector<DirectoryReader::Ancestor> DirectoryReader::ancestors() const
{
    std::vector<Ancestor> found;
    wchar_t buffer[32768];
    const DWORD n = GetFinalPathNameByHandleW(reinterpret_cast<HANDLE>(m_native), buffer,
                                              DWORD(std::size(buffer)), FILE_NAME_NORMALIZED);
    if (n == 0 || n >= std::size(buffer))
        return found;
    QString path = shortPath(QString::fromWCharArray(buffer, int(n)));
    // Up to the drive's or the share's root, whose own name ends in "\".
    for (qsizetype slash = path.lastIndexOf(u'\\'); slash > 0; slash = path.lastIndexOf(u'\\')) {
        path.truncate(slash);
        const QString probe = path.endsWith(u':') ? path + u'\\' : path;
        const HANDLE handle = openToInspect(probe);
        if (handle == INVALID_HANDLE_VALUE)
            continue;
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(handle, &info))
            found.push_back({identityOf(info), probe.toUtf8()});
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
        CloseHandle(reinterpret_cast<HANDLE>(m_native));
    m_native = -1;
}

// The listing brings each entry's size, time and attributes along; only
// links and junctions cost a call of their own.
void DirectoryReader::readNames(Listing *listing) const
{
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileExW(longPath(QString::fromUtf8(m_path) + QStringLiteral("\\*")).c_str(),
                                         FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
            listing->readError = Error::fromCode(int(error));
        return;
    }
    do {
        addEntry(found, listing);
    } while (FindNextFileW(find, &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES)
        listing->readError = Error::fromCode(int(error));
    FindClose(find);
}

// A link or junction counts as what it leads to; one whose target is missing
// is left out, as on POSIX.
void DirectoryReader::lookAt(Listing *listing, size_t from, size_t to) const
{
    const QString dir = QString::fromUtf8(m_path) + u'\\';
    for (size_t i = from; i < to; ++i) {
        Entry &entry = listing->entries[i];
        if (entry.kind != Entry::Kind::ToLookAt)
            continue;
        const QString path = dir + QString::fromUtf8(listing->name(entry));
        const HANDLE target = openToInspect(path);
        BY_HANDLE_FILE_INFORMATION info;
        if (target == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(target, &info)) {
            const DWORD error = GetLastError();
            if (target != INVALID_HANDLE_VALUE)
                CloseHandle(target);
            const HANDLE link = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                    ? openToInspect(path, FILE_FLAG_OPEN_REPARSE_POINT)
                    : INVALID_HANDLE_VALUE;
            if (link != INVALID_HANDLE_VALUE) {
                CloseHandle(link);
                entry.kind = Entry::Kind::Left;
            } else {
                entry.kind = Entry::Kind::CannotStat;
                entry.size = qint64(error);
            }
            continue;
        }
        CloseHandle(target);
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entry.kind = Entry::Kind::Directory;
        } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) {
            entry.kind = Entry::Kind::Left;
        } else {
            entry.kind = Entry::Kind::File;
            entry.modifiedSecs = secondsSinceEpoch(info.ftLastWriteTime);
            entry.size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
        }
    }
}
