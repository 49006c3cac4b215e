// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "filesystemroot.h"

#include <QString>

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

namespace {

using Identity = std::pair<DWORD, quint64>; // the volume's serial number, the file's index

std::optional<Identity> identity(const std::wstring &path)
{
    // Attributes only: a directory the program may not list still has its identity.
    const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!known || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return Identity{info.dwVolumeSerialNumber,
                    (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

} // namespace

bool isFileSystemRoot(const QByteArray &path)
{
    const std::wstring given = QString::fromUtf8(path).toStdWString();
    wchar_t full[MAX_PATH];
    const DWORD size = GetFullPathNameW(given.c_str(), MAX_PATH, full, nullptr);
    if (size == 0 || size >= MAX_PATH)
        return false; // no root is that long
    std::wstring absolute(full, size);
    // Windows takes "\\?\" paths as they stand, ".." included: the parent is
    // asked for without the prefix.
    if (absolute.rfind(L"\\\\?\\", 0) == 0 || absolute.rfind(L"\\\\.\\", 0) == 0)
        absolute.erase(0, 4);
    // A share's root is its own parent too, and a published tree.
    if (absolute.rfind(L"\\\\", 0) == 0 || absolute.rfind(L"UNC\\", 0) == 0)
        return false;
    const std::optional<Identity> self = identity(given);
    return self && self == identity(absolute + L"\\..");
}
