// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "runlock.h"

#include <windows.h>

#include <string>

// A named mutex for the walked directory, named by its volume and file id.
// Windows locks no directory with LockFileEx, and a second handle to it that
// denies write sharing would also deny the open of the target directory that
// every rename into it makes, the program's own rename of its list
// included. A mutex that its holder leaves by dying is handed on as
// abandoned. Its names reach across the sessions of one machine only, so runs
// on other machines that write the same share are not kept apart.

namespace {

HANDLE handleOf(qintptr native)
{
    return reinterpret_cast<HANDLE>(native);
}

std::wstring mutexName(const DirectoryReader::Identity &identity)
{
    return L"Global\\vorn_filesync_list-" + QString::number(identity.volume, 16).toStdWString()
            + L'-' + QString::number(identity.file, 16).toStdWString();
}

} // namespace

RunLock::~RunLock()
{
    if (m_native == -1)
        return;
    if (m_taken)
        ReleaseMutex(handleOf(m_native));
    CloseHandle(handleOf(m_native));
}

RunLock::State RunLock::tryTake(const DirectoryReader &dir, SystemError *error)
{
    if (m_native == -1) {
        const HANDLE mutex = CreateMutexExW(nullptr, mutexName(dir.identity()).c_str(), 0,
                                            SYNCHRONIZE | MUTEX_MODIFY_STATE);
        if (!mutex) {
            // Made by a run of another user, whose mutex this one may not
            // open: that run is on the directory.
            if (GetLastError() == ERROR_ACCESS_DENIED)
                return State::Held;
            *error = SystemError::last();
            return State::Unavailable;
        }
        m_native = reinterpret_cast<qintptr>(mutex);
    }
    switch (WaitForSingleObject(handleOf(m_native), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
        m_taken = true;
        return State::Taken;
    case WAIT_TIMEOUT:
        return State::Held;
    default:
        *error = SystemError::last();
        return State::Unavailable;
    }
}
