// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "systemerror.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <locale.h>

QString SystemError::text() const
{
    if (code == -1)
        return ownText;
    // The C locale's texts, the ones the README documents: the user's locale
    // would translate some of them and not others.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return QString::fromLocal8Bit(c ? strerror_l(code, c) : std::strerror(code));
}

SystemError SystemError::outOfMemory() noexcept
{
    return fromCode(ENOMEM);
}

SystemError SystemError::last() noexcept
{
    return fromCode(errno);
}

SystemError::Cause SystemError::cause() const
{
    switch (code) {
    case 0:
        return Cause::None;
    case EACCES:
    case EPERM:
        return Cause::Denied;
    case ENOENT:
    case ENOTDIR:
        return Cause::Missing;
    case ELOOP:
        return Cause::LinkLoop;
    case EMFILE:
    case ENFILE:
        return Cause::OutOfDescriptors;
    case ENAMETOOLONG:
        return Cause::PathTooLong;
    default:
        return Cause::Damage;
    }
}
