// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "systemerror.h"

#include <QStringView>

#include <windows.h>

// Opens what lies below an open directory by its exact names, joined by "\"
// (NtCreateFile with the directory's handle as the root). Unlike a Win32
// path, nothing is made absolute or rewritten on the way: "foo." is not
// "foo", "bar " keeps its space and "con" or "aux.txt" are files, not
// devices; case counts wherever the system lets it; and the file is the one
// below that very directory, wherever it has moved meanwhile. disposition
// and options are NtCreateFile's (FILE_OPEN, FILE_DIRECTORY_FILE, ...); the
// handle is synchronous. Returns INVALID_HANDLE_VALUE with error set when it
// fails.
HANDLE openRelative(HANDLE directory, QStringView relative, ACCESS_MASK access, ULONG share,
                    ULONG disposition, ULONG options, SystemError *error);

// The system's error for an NTSTATUS, as Win32 calls would set it.
SystemError ntError(LONG status);
