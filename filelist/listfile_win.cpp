// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listfile.h"

#include "openrelative.h"

#include <vector>

#include <winternl.h>

// Everything goes through handles: the file is created by its name below
// the handle of the directory that was walked, written, flushed and renamed
// through its own handle, which stays open until then, and the new name is
// again given below the directory's handle. A directory swapped in at the
// source's path meanwhile never gets the list. The new file takes the
// directory's inherited permissions; Windows has no mode to copy.

namespace {

HANDLE handleOf(qintptr native)
{
    return reinterpret_cast<HANDLE>(native);
}

} // namespace

ListFile::ListFile(const DirectoryReader &dir, const char *name) : m_dir(dir), m_name(name) { }

ListFile::~ListFile()
{
    if (m_created)
        remove();
    if (m_native != -1)
        CloseHandle(handleOf(m_native));
}

// Marked through its own handle, it goes once that is closed.
void ListFile::remove()
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(handleOf(m_native), FileDispositionInfo, &disposition,
                               sizeof disposition);
}

bool ListFile::create(const char *replacing, qint64 *replacedSize, Error *error)
{
    const HANDLE dir = handleOf(m_dir.nativeHandle());
    const QString name = QString::fromUtf8(m_name);
    // Windows has no mode to copy: the new file takes the folder's inherited
    // permissions. Only the size is wanted.
    *replacedSize = -1;
    SystemError ignored;
    const HANDLE old = openRelative(dir, QString::fromUtf8(replacing), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    FILE_OPEN, FILE_NON_DIRECTORY_FILE, &ignored);
    if (old != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER size;
        if (GetFileSizeEx(old, &size))
            *replacedSize = qint64(size.QuadPart);
        CloseHandle(old);
    }
    // Whatever an earlier run left at the name goes, a link itself and not
    // what it leads to; creating anew then never writes through a link. What
    // cannot be removed (a directory, a read-only file) makes the creation
    // fail.
    const HANDLE stale =
            openRelative(dir, name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         FILE_OPEN,
                         FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_DELETE_ON_CLOSE,
                         error);
    if (stale != INVALID_HANDLE_VALUE) {
        CloseHandle(stale);
    } else if (error->cause() != Error::Cause::Missing && error->cause() != Error::Cause::Denied) {
        return false;
    }
    const HANDLE file = openRelative(dir, name, GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                     FILE_CREATE, FILE_NON_DIRECTORY_FILE, error);
    if (file == INVALID_HANDLE_VALUE) {
        // As CreateFileW tells it when it may only create.
        if (error->code == ERROR_ALREADY_EXISTS)
            *error = Error::fromCode(ERROR_FILE_EXISTS);
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
    if (!FlushFileBuffers(handleOf(m_native))) {
        *error = Error::last();
        return false;
    }
    return true;
}

bool ListFile::renameTo(const char *name, Error *error)
{
    const QString target = QString::fromUtf8(name);
    const ULONG bytes = ULONG(target.size() * sizeof(WCHAR));
    std::vector<char> buffer(sizeof(FILE_RENAME_INFORMATION) + bytes);
    auto *rename = reinterpret_cast<FILE_RENAME_INFORMATION *>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = handleOf(m_dir.nativeHandle());
    rename->FileNameLength = bytes;
    memcpy(rename->FileName, target.utf16(), bytes);
    IO_STATUS_BLOCK io;
    const NTSTATUS status = NtSetInformationFile(handleOf(m_native), &io, rename,
                                                 ULONG(buffer.size()), FileRenameInformation);
    if (!NT_SUCCESS(status)) {
        *error = ntError(status);
        return false;
    }
    m_created = false;
    // At once, for clients that open the list without sharing write access.
    // The file system journals the rename: after a crash the directory holds
    // the old list or the new one.
    CloseHandle(handleOf(m_native));
    m_native = -1;
    return true;
}

bool ListFile::syncDirectory(Error *)
{
    return true;
}

bool ListFile::removeFile(const DirectoryReader &dir, const char *name, Error *error)
{
    const HANDLE file = openRelative(
            handleOf(dir.nativeHandle()), QString::fromUtf8(name), DELETE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
            FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_DELETE_ON_CLOSE, error);
    if (file == INVALID_HANDLE_VALUE)
        return error->cause() == Error::Cause::Missing;
    CloseHandle(file);
    return true;
}
