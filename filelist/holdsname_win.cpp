// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "holdsname.h"

#include "openrelative.h"

#include <winternl.h>

bool holdsName(const DirectoryReader &dir, const QByteArray &name, bool *holds,
               SystemError *error)
{
    const HANDLE handle = openRelative(reinterpret_cast<HANDLE>(dir.nativeHandle()),
                                       QString::fromUtf8(name), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       FILE_OPEN, FILE_OPEN_REPARSE_POINT, error);
    *holds = handle != INVALID_HANDLE_VALUE;
    if (*holds) {
        CloseHandle(handle);
        return true;
    }
    return error->cause() == SystemError::Cause::Missing;
}
