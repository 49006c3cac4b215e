// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "systemerror.h"

#include <windows.h>

SystemError SystemError::fromCode(int code)
{
    return {code, qt_error_string(code)};
}

SystemError SystemError::outOfMemory()
{
    return fromCode(ERROR_NOT_ENOUGH_MEMORY);
}

SystemError SystemError::last()
{
    return fromCode(int(GetLastError()));
}

SystemError::Cause SystemError::cause() const
{
    switch (DWORD(code)) {
    case 0:
        return Cause::None;
    case ERROR_ACCESS_DENIED:
        return Cause::Denied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
        return Cause::Missing;
    case ERROR_CANT_RESOLVE_FILENAME:
        return Cause::LinkLoop;
    case ERROR_TOO_MANY_OPEN_FILES:
        return Cause::OutOfDescriptors;
    case ERROR_FILENAME_EXCED_RANGE:
        return Cause::PathTooLong;
    default:
        return Cause::Damage;
    }
}
