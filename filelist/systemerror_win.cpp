// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "systemerror.h"

#include <windows.h>

QString SystemError::text() const
{
    return code == -1 ? ownText : qt_error_string(code);
}

SystemError SystemError::outOfMemory() noexcept
{
    return fromCode(ERROR_NOT_ENOUGH_MEMORY);
}

SystemError SystemError::last() noexcept
{
    return fromCode(int(GetLastError()));
}

// The same rules as on POSIX. Only a name that is really not there is
// missing: a server that is down or a connection that broke tells nothing
// about the tree, so network errors are damage, as EIO is.
SystemError::Cause SystemError::cause() const
{
    switch (DWORD(code)) {
    case 0:
        return Cause::None;
    case ERROR_ACCESS_DENIED:
        return Cause::Denied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY: // not a directory
        return Cause::Missing;
    case ERROR_CANT_RESOLVE_FILENAME: // too many links in a row
        return Cause::LinkLoop;
    case ERROR_TOO_MANY_OPEN_FILES:
        return Cause::OutOfDescriptors;
    case ERROR_FILENAME_EXCED_RANGE:
        return Cause::PathTooLong;
    default:
        // ERROR_NETNAME_DELETED, ERROR_UNEXP_NET_ERR, ERROR_SEM_TIMEOUT,
        // ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME, ERROR_INVALID_NAME,
        // ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY, ERROR_SHARING_VIOLATION
        // and the like.
        return Cause::Damage;
    }
}
