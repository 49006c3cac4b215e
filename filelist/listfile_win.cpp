// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listfile.h"

#include "longpath.h"

#include <windows.h>

// Windows names files by path only: the list goes into the path the walked
// directory was opened by, whose handle the walk still holds. The new file
// takes the directory's inherited permissions; Windows has no mode to copy.

namespace {

std::wstring pathIn(const DirectoryReader &dir, const char *name)
{
    return longPath(QString::fromUtf8(dir.path() + '\\' + name));
}

HANDLE handleOf(qintptr native)
{
    return reinterpret_cast<HANDLE>(native);
}

} // namespace

ListFile::ListFile(const DirectoryReader &dir, const char *name) : m_dir(dir), m_name(name) { }

ListFile::~ListFile()
{
    if (m_native != -1)
        CloseHandle(handleOf(m_native));
    if (m_created)
        remove();
}

void ListFile::remove()
{
    DeleteFileW(pathIn(m_dir, m_name).c_str());
}

bool ListFile::create(const char *, Error *error)
{
    // Whatever an earlier run left at the name goes; CREATE_NEW then never
    // writes through a link.
    const std::wstring path = pathIn(m_dir, m_name);
    if (!DeleteFileW(path.c_str())) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND
            && code != ERROR_ACCESS_DENIED) {
            *error = Error::fromCode(int(code));
            return false;
        }
    }
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = Error::last();
        return false;
    }
    m_native = reinterpret_cast<qintptr>(file);
    m_created = true;
    return true;
}

bool ListFile::write(const char *data, qsizetype size, Error *error)
{
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(qMin<qsizetype>(size, 1 << 30));
        if (!WriteFile(handleOf(m_native), data, chunk, &written, nullptr)) {
            *error = Error::last();
            return false;
        }
        data += written;
        size -= qsizetype(written);
    }
    return true;
}

bool ListFile::finish(Error *error)
{
    const HANDLE file = handleOf(m_native);
    m_native = -1;
    const bool flushed = FlushFileBuffers(file);
    const DWORD flushError = GetLastError();
    if (!CloseHandle(file) && flushed) {
        *error = Error::last();
        return false;
    }
    if (!flushed)
        *error = Error::fromCode(int(flushError));
    return flushed;
}

bool ListFile::renameTo(const char *name, Error *error)
{
    if (!MoveFileExW(pathIn(m_dir, m_name).c_str(), pathIn(m_dir, name).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = Error::last();
        return false;
    }
    m_created = false;
    return true;
}
