// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "quietstart.h"

#include <QString>

#include <fcntl.h>
#include <unistd.h>

#ifdef VORN_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace {

// Set and cleared on the main thread; Qt's start may log from its own.
int realError = -1;
int devNull = -1;
QtMessageHandler previous = nullptr;

} // namespace

QuietStart::QuietStart()
{
    realError = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (realError >= 0 && devNull >= 0 && ::dup2(devNull, 2) == 2)
        previous = qInstallMessageHandler(&QuietStart::putThrough);
#ifdef VORN_HAVE_FONTCONFIG
    FcInit();
#endif
}

QuietStart::~QuietStart()
{
    if (previous) {
        qInstallMessageHandler(previous);
        ::dup2(realError, 2);
    }
    for (const int fd : {realError, devNull}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void QuietStart::putThrough(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    ::dup2(realError, 2);
    previous(type, context, text);
    if (type != QtFatalMsg)
        ::dup2(devNull, 2);
}
