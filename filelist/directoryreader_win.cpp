// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "directoryreader.h"

#include "longpath.h"

#include <windows.h>

namespace {

DirectoryReader::Error systemError(DWORD code)
{
    return {int(code), qt_error_string(int(code))};
}

QByteArray identityOf(const BY_HANDLE_FILE_INFORMATION &info)
{
    const quint64 id[2] = {quint64(info.dwVolumeSerialNumber),
                           (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return QByteArray(reinterpret_cast<const char *>(id), sizeof id);
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
HANDLE openToInspect(const QString &path, DWORD access)
{
    return CreateFileW(longPath(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether a name can be a list line: no CR or LF to split it, and every
// character held exactly by the ANSI code page the list is written in, so
// that it names this file and no other.
bool checkName(const wchar_t *name, DirectoryReader::Listing *listing)
{
    for (const wchar_t *c = name; *c; ++c) {
        if (*c == L'\n' || *c == L'\r') {
            listing->problems.push_back({DirectoryReader::Problem::Kind::LineBreak, {}, {}});
            return false;
        }
    }
    BOOL lossy = FALSE;
    const bool utf8 = GetACP() == CP_UTF8;
    const int n = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                      name, -1, nullptr, 0, nullptr, utf8 ? nullptr : &lossy);
    if (n > 0 && !lossy)
        return true;
    listing->problems.push_back({DirectoryReader::Problem::Kind::NotText, {}, {}});
    return false;
}

void addEntry(const QString &dir, const WIN32_FIND_DATAW &found, DirectoryReader::Listing *listing)
{
    const wchar_t *name = found.cFileName;
    if ((name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))
        || (found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        return;
    if (!checkName(name, listing))
        return;
    const QString wide = QString::fromWCharArray(name);
    const QByteArray utf8 = wide.toUtf8();

    DirectoryReader::Entry entry;
    DWORD attributes = found.dwFileAttributes;
    FILETIME written = found.ftLastWriteTime;
    qint64 size = (qint64(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link or junction counts as what it leads to.
        const HANDLE target = openToInspect(dir + u'\\' + wide, FILE_READ_ATTRIBUTES);
        BY_HANDLE_FILE_INFORMATION info;
        if (target == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(target, &info)) {
            const DWORD error = GetLastError();
            if (target != INVALID_HANDLE_VALUE)
                CloseHandle(target);
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                return; // a link whose target is missing
            listing->problems.push_back(
                    {DirectoryReader::Problem::Kind::CannotStat, utf8, systemError(error)});
            return;
        }
        CloseHandle(target);
        attributes = info.dwFileAttributes;
        written = info.ftLastWriteTime;
        size = (qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        entry.isDirectory = true;
    } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
        return;
    } else {
        entry.modifiedSecs = secondsSinceEpoch(written);
        entry.size = size;
    }
    entry.nameStart = listing->names.size();
    entry.nameSize = utf8.size();
    listing->names.append(utf8.constData(), utf8.size() + 1);
    listing->entries.push_back(entry);
}

} // namespace

bool DirectoryReader::Error::isDenied() const
{
    return code == ERROR_ACCESS_DENIED;
}

bool DirectoryReader::Error::isMissing() const
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
            || code == ERROR_DIRECTORY || code == ERROR_BAD_NETPATH
            || code == ERROR_BAD_NET_NAME || code == ERROR_INVALID_NAME;
}

bool DirectoryReader::Error::isLinkLoop() const
{
    return code == ERROR_CANT_RESOLVE_FILENAME;
}

bool DirectoryReader::Error::isOutOfDescriptors() const
{
    return code == ERROR_TOO_MANY_OPEN_FILES;
}

// Windows opens by path: the handle holds the directory for its identity and
// for the list file, and the path, with its parent's, is what is listed.
DirectoryReader DirectoryReader::open(const QByteArray &path, Error *error)
{
    DirectoryReader reader;
    reader.m_path = path;
    const HANDLE handle = openToInspect(QString::fromUtf8(path), FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = systemError(GetLastError());
        return reader;
    }
    reader.m_native = reinterpret_cast<qintptr>(handle);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        *error = systemError(GetLastError());
        reader.close();
        return reader;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = systemError(ERROR_DIRECTORY);
        reader.close();
        return reader;
    }
    *error = {};
    reader.m_identity = identityOf(info);
    return reader;
}

DirectoryReader DirectoryReader::openChild(const DirectoryReader &parent, QByteArrayView name,
                                           Error *error)
{
    return open(parent.m_path + '/' + name.toByteArray(), error);
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
        const HANDLE handle = openToInspect(probe, FILE_READ_ATTRIBUTES);
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
void DirectoryReader::read(Listing *listing) const
{
    const QString dir = QString::fromUtf8(m_path);
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileExW(longPath(dir + QStringLiteral("\\*")).c_str(), FindExInfoBasic,
                                         &found, FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
            listing->readError = systemError(error);
        return;
    }
    do {
        addEntry(dir, found, listing);
    } while (FindNextFileW(find, &found));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES)
        listing->readError = systemError(error);
    FindClose(find);
}
