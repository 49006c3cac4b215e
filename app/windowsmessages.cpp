// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "windowsmessages.h"

#include <QString>
#include <QtGlobal>

#include <windows.h>

namespace {

void writeMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    const QString line = text + u'\n';
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) {
        OutputDebugStringW(reinterpret_cast<const wchar_t *>(line.utf16()));
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(err, &mode)) {
        WriteConsoleW(err, line.utf16(), DWORD(line.size()), &written, nullptr);
        return;
    }
    // A file or a pipe gets the text in the ANSI code page, as the list file.
    const QByteArray bytes = line.toLocal8Bit();
    WriteFile(err, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
}

} // namespace

void installWindowsMessageHandler()
{
    qInstallMessageHandler(writeMessage);
}
