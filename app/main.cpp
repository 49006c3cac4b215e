// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "vorn_filesync_listdialog.h"

#include <QApplication>

#ifdef Q_OS_WIN
#include "windowsmessages.h"
#endif

#include <cstring>

namespace {

// Scripts start the program on servers without a display, where Qt would
// abort for want of one: unless a platform was asked for, run offscreen there.
void useOffscreenWithoutDisplay(int argc, char *argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
#endif
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    installWindowsMessageHandler();
#endif
    useOffscreenWithoutDisplay(argc, argv);
    QApplication app(argc, argv);
    vorn_filesync_listDialog dialog(nullptr, nullptr, true);
    dialog.exec();
    return 0;
}
