// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "openrelative.h"

#include <winternl.h>

HANDLE openRelative(HANDLE directory, QStringView relative, ACCESS_MASK access, ULONG share,
                    ULONG disposition, ULONG options, SystemError *error)
{
    // A counted name holds at most 32,767 characters; the caller then goes
    // one name at a time.
    constexpr qsizetype MaxLength = 0x7fff;
    if (relative.size() > MaxLength) {
        *error = SystemError::fromCode(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING name;
    name.Buffer = const_cast<PWSTR>(reinterpret_cast<PCWSTR>(relative.utf16()));
    name.Length = USHORT(relative.size() * 2);
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, 0, directory, nullptr);
    IO_STATUS_BLOCK io;
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS status = NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                         FILE_ATTRIBUTE_NORMAL, share, disposition,
                                         options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        *error = ntError(status);
        return INVALID_HANDLE_VALUE;
    }
    *error = {};
    return handle;
}

SystemError ntError(LONG status)
{
    return SystemError::fromCode(int(RtlNtStatusToDosError(NTSTATUS(status))));
}
