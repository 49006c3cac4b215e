// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "messages.h"
#include "programrules.h"
#include "vorn_filesync_listdialog.h"

#include <QApplication>
#include <QLoggingCategory>

#ifdef Q_OS_WIN
#include "windowsmessages.h"
#endif
#ifdef Q_OS_UNIX
#include "quietstart.h"
#include "stopsignals.h"
#include "unixmessages.h"
#endif

#include <csignal>
#include <cstring>
#include <memory>

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

// Standard error holds the program's own lines and nothing else, so that cron
// mails only what the README's table explains and a script can read the last
// line as the outcome: Qt's warnings of its own (no XDG_RUNTIME_DIR, the
// offscreen platform's "propagateSizeHints()", a display it could not reach)
// are off. The program's lines are a script's only sign of what went wrong:
// a qtlogging.ini (some systems install one with "*.debug=false") must not
// silence them, and a rule set here outranks those files. QT_LOGGING_RULES
// still outranks it: the caller asked for that.
void keepOnlyOwnLines()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*=false\ndefault.debug=true"));
}

// A debug line written to a pipe whose reader has gone is lost; the run must
// still save its list.
void ignoreBrokenPipes()
{
#ifdef Q_OS_UNIX
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

// Scripts start the program on servers without a display, or with one that
// cannot be reached: a DISPLAY left over from a closed "ssh -X" or inherited
// by cron, a Wayland socket that is gone, an X server that refuses this user.
// Qt aborts when no platform it tries can start, so unless the caller asked
// for a platform, offscreen comes last among those tried. Returns the
// displays that were named, for the line that tells of the fallback.
QStringList offerOffscreen(int argc, char *argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    bool askedFor = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            askedFor = true;
    }
    const QByteArray platforms = platformsToTry(askedFor, qgetenv("DISPLAY"),
                                                qgetenv("WAYLAND_DISPLAY"),
                                                qgetenv("XDG_SESSION_TYPE"));
    if (platforms.isEmpty())
        return {};
    qputenv("QT_QPA_PLATFORM", platforms);
    return namedDisplays();
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return {};
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

// A stop asked for by a signal is a stop asked for by closing the window.
// Once the window has closed, further stops are ignored: what is left to do
// is to clean up.
void runWindow(vorn_filesync_listDialog &dialog)
{
#ifdef Q_OS_UNIX
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &dialog, &QDialog::reject);
    dialog.setRunningHere(&StopSignals::cancelDirectly);
#endif
    dialog.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    openClosedStandardStreams();
#ifdef Q_OS_WIN
    installWindowsMessageHandler();
#else
    installUnixMessageHandler();
#endif
    ignoreBrokenPipes();
    switch (informationAsked({argv, argv + argc})) {
    case Information::Help:
        outputText(Message::usage());
        return 0;
    case Information::Version:
        outputText(Message::version());
        return 0;
    case Information::None:
        break;
    }
    keepOnlyOwnLines();
    const QStringList displays = offerOffscreen(argc, argv);
#ifdef Q_OS_UNIX
    auto quiet = std::make_unique<QuietStart>();
#endif
    QApplication app(argc, argv);
#ifdef Q_OS_UNIX
    quiet.reset();
#endif
    if (!displays.isEmpty() && QGuiApplication::platformName() == QLatin1String("offscreen"))
        debugLine(Message::runningOffscreen(displays));
    vorn_filesync_listDialog dialog(nullptr, nullptr, true);
    dialog.setCommandLine(givenArguments(argc, argv));
    runWindow(dialog);
    // The dialog waits for a run still cleaning up after a cancel (removing
    // its new list file), and only then does the process end.
    return exitStatus(dialog.outcome(), qgetenv("VORN_FILESYNC_LIST_EXIT_STATUS"));
}
