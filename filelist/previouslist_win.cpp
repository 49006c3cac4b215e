// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "previouslist.h"

#include "openrelative.h"

#include <winternl.h>

// Opened below the directory's handle, sharing everything: clients and the
// rename of the new list may go on while it is read.
bool PreviousList::open(const DirectoryReader &dir, const char *name, Error *error)
{
    close();
    const HANDLE file = openRelative(reinterpret_cast<HANDLE>(dir.nativeHandle()),
                                     QString::fromUtf8(name), FILE_READ_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY,
                                     error);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    m_native = reinterpret_cast<qintptr>(file);
    return true;
}

void PreviousList::close()
{
    if (m_native != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_native));
    m_native = -1;
}

qint64 PreviousList::readSome(char *into, qint64 size)
{
    DWORD read = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(m_native), into, DWORD(qMin<qint64>(size, 1 << 30)),
                  &read, nullptr)) {
        m_error = Error::last();
        return -1;
    }
    return qint64(read);
}
