// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "walkpolicy.h"

bool failsRun(WalkPlace place, SystemError::Cause cause)
{
    using Cause = SystemError::Cause;
    switch (place) {
    case WalkPlace::Source:
        // An empty or partial list would tell clients that files are gone.
        return cause != Cause::None;
    case WalkPlace::OpenSubdirectory:
        return cause != Cause::None && cause != Cause::Denied && cause != Cause::Missing;
    case WalkPlace::ReadSubdirectory:
        return cause != Cause::None && cause != Cause::Denied;
    case WalkPlace::LookAtEntry:
        return cause != Cause::None && cause != Cause::Denied && cause != Cause::Missing
                && cause != Cause::LinkLoop;
    }
    return true;
}
