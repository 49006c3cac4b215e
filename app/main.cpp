// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "vorn_filesync_listdialog.h"

#include <QApplication>
#include <QLoggingCategory>

#ifdef Q_OS_WIN
#include "windowsmessages.h"
#endif
#ifdef Q_OS_UNIX
#include "stopsignals.h"
#endif

#include <csignal>
#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#endif

namespace {

// Service managers and daemons may start the program with 0, 1 or 2 closed.
// The next files opened would take those numbers, and the debug lines written
// to 2 would go into whichever did: the list file, say. /dev/null takes each
// closed one, before anything else opens a file.
void openClosedStandardStreams()
{
#ifdef Q_OS_UNIX
    for (int fd = 0; fd <= 2; ++fd) {
        // open() takes the lowest free number: this one.
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            ::open("/dev/null", O_RDWR);
    }
#endif
}

// The debug lines are a script's only sign of what went wrong: a qtlogging.ini
// (some systems install one with "*.debug=false") must not silence them, and a
// rule set here outranks those files. QT_LOGGING_RULES still outranks it: the
// caller asked for that.
void keepOwnLinesOn()
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=true"));
}

// A debug line written to a pipe whose reader has gone is lost; the run must
// still save its list.
void ignoreBrokenPipes()
{
#ifdef Q_OS_UNIX
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

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

// The arguments QApplication left after taking out its own options (it
// shortens argv in place), as the bytes they were given: decoded, one that is
// not UTF-8 would name another directory. On Windows argv is in the ANSI code
// page, and Qt's list, read from the UTF-16 command line, is the exact one.
QList<QByteArray> givenArguments(int argc, char *argv[])
{
    QList<QByteArray> arguments;
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    for (const QString &argument : QCoreApplication::arguments())
        arguments << argument.toUtf8();
#else
    for (int i = 0; i < argc; ++i)
        arguments << QByteArray(argv[i]);
#endif
    return arguments;
}

} // namespace

int main(int argc, char *argv[])
{
    openClosedStandardStreams();
#ifdef Q_OS_WIN
    installWindowsMessageHandler();
#endif
    ignoreBrokenPipes();
    keepOwnLinesOn();
    useOffscreenWithoutDisplay(argc, argv);
    QApplication app(argc, argv);
    vorn_filesync_listDialog dialog(nullptr, nullptr, true);
    dialog.setCommandLine(givenArguments(argc, argv));
#ifdef Q_OS_UNIX
    // A stop asked for by a signal is a stop asked for by closing the window.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &dialog, &QDialog::reject);
#endif
    dialog.exec();
    // Going first, stopSignals leaves further stops ignored; the dialog then
    // waits for a run still cleaning up after a cancel (removing its new list
    // file), and only then does the process end.
    return 0;
}
