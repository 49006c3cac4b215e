// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "vorn_filesync_listdialog.h"

#include <QApplication>
#include <QLoggingCategory>

#ifdef Q_OS_WIN
#include "windowsmessages.h"
#endif

#include <csignal>
#include <cstring>

namespace {

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
#ifdef Q_OS_WIN
    installWindowsMessageHandler();
#endif
    ignoreBrokenPipes();
    keepOwnLinesOn();
    useOffscreenWithoutDisplay(argc, argv);
    QApplication app(argc, argv);
    vorn_filesync_listDialog dialog(nullptr, nullptr, true);
    dialog.setCommandLine(givenArguments(argc, argv));
    dialog.exec();
    return 0;
}
