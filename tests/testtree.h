// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

// Builds small trees for the tests: every path is relative to the root, parent
// directories are made as needed, and a file's time is given in seconds since
// the epoch.
class TestTree
{
public:
    explicit TestTree(const QString &root) : m_root(root) { }
    // Removes what rawFile and rawDir made: QTemporaryDir removes by decoded
    // names and would leave names that are not UTF-8 behind; on Windows,
    // names that Windows rewrites in a path, such as "foo." or "con".
    ~TestTree();
    TestTree(const TestTree &) = delete;
    TestTree &operator=(const TestTree &) = delete;

    // Adds entries written as: "name/" a directory, "name -> target" a link,
    // "name|" a FIFO, "name=" a socket, anything else a file holding "x".
    TestTree &add(const QStringList &items);
    // Whether this system can make every kind of entry in items; when not, why.
    static bool canMake(const QStringList &items, QString *why);

    QString root() const { return m_root; }
    QString path(const QString &relative) const { return m_root + u'/' + relative; }

    TestTree &dir(const QString &relative);
    TestTree &file(const QString &relative, const QByteArray &content = "x",
                   qint64 mtime = 1375106531);
    TestTree &link(const QString &relative, const QString &target);
    TestTree &fifo(const QString &relative);
    TestTree &socket(const QString &relative);
    // A file whose name is given as raw bytes, inside the directory relative.
    TestTree &rawFile(const QString &relative, const QByteArray &name);
    TestTree &rawDir(const QString &relative, const QByteArray &name);
    // depth directories called name, one in the other, inside relative, with a
    // file leaf at the bottom; made one level at a time, so the path may be
    // longer than the system takes at once. With a side name, each level
    // but the bottom also holds a directory side with a file leaf in it.
    TestTree &chain(const QString &relative, const QString &name, int depth, const QString &leaf,
                    const QString &side = {});
    TestTree &chmod(const QString &relative, int mode);
#ifdef Q_OS_WIN
    // Gives an entry the hidden attribute, or the system one.
    TestTree &hide(const QString &relative, bool system);
#endif
    TestTree &touch(const QString &relative, qint64 secs, long nanoseconds = 0);

    QByteArray read(const QString &relative) const;

private:
    static void makeParent(const QString &path);
    // A directory with its parents, and a file, by the names as they are
    // given (Qt's own file functions would rewrite some on Windows).
    static void makeDirectory(const QString &path);
    static bool writeFile(const QString &path, const QByteArray &content);

    QString m_root;
    QList<QByteArray> m_rawPaths;
};

// Expected texts name the test's temporary root as "<root>", and write "\\"
// where the program joins the pieces of a path with the system's separator:
// a backslash on Windows, "/" elsewhere.
QStringList withRoot(QStringList texts, const QString &root);
QString nativeJoins(QString text);

// Collects the debug lines the code under test prints, for as long as it lives.
class DebugMessages
{
public:
    DebugMessages();
    ~DebugMessages();
    QStringList take();

private:
    QtMessageHandler m_previous;
};

// A list file's lines without their CR LF, so that whole lists compare line
// by line and a mismatch prints both sides.
QStringList lines(const QByteArray &listFile);
// The bytes a list holds for text: the local 8-bit encoding, UTF-8 but on
// Windows, where it is the ANSI code page.
QByteArray listBytes(QStringView text);

// The built program.
QString programPath();

// Runs the program to its end, headless, and collects what it printed.
struct RunResult {
    int exitCode = -1;
    bool crashed = false;
    QStringList messages; // standard error's lines; under Wine, Wine's own left out
    QByteArray output; // standard output
};

// How a child process is held down: the user it runs as (an unprivileged one
// when the tests run as root), optional caps on the size of the files it
// writes and on its open descriptors (then none inherited beside 0, 1 and 2),
// whether its standard error is a pipe nobody reads any more (as after
// `prog 2>&1 | head -0`), and whether it starts with descriptors 0, 1 and 2
// closed (as some daemons start children).
struct ChildLimits {
    bool unprivileged = false;
    qint64 fileSizeLimit = -1;
    int openFiles = -1;
    bool stderrReaderGone = false;
    bool standardStreamsClosed = false;
    int umask = -1;
    QStringList wrapper; // a command the program is run under, strace say
};

// Starts the program in process with these limits; runProgram's own part.
void startProgram(QProcess &process, const QList<QByteArray> &arguments,
                  const QProcessEnvironment &environment, const ChildLimits &limits);

// whileRunning is called once the program has started.
RunResult runProgram(const QStringList &arguments, const QProcessEnvironment &environment,
                     const ChildLimits &limits = {},
                     const std::function<void(QProcess &)> &whileRunning = {});
// The same with arguments given as bytes, which need not be UTF-8.
RunResult runProgram(const QList<QByteArray> &arguments, const QProcessEnvironment &environment,
                     const ChildLimits &limits = {},
                     const std::function<void(QProcess &)> &whileRunning = {});
// The lines the program wrote to standard error. Offscreen they are its own
// lines alone; under Wine, the lines Wine's Windows platform plugin adds are
// left out.
QStringList programLines(const QByteArray &standardError);

// An environment without the source variables and without a display.
QProcessEnvironment cleanEnvironment();

// env with a system call made to fail in the program: VORN_FAULT's form is
// told in faultinject.cpp.
QProcessEnvironment withFault(QProcessEnvironment env, const QString &fault);

// Makes zone ("UTC" or an IANA name) the local time zone of this process, or
// says why it cannot: a Windows process keeps the system's zone, which only
// Wine lets a test choose, from TZ as the process starts.
bool useTimeZone(const char *zone, QString *why);

// Whether paths longer than 4,000 characters can be made; when not, why not.
bool canMakeLongPaths(QString *why);
#ifdef Q_OS_WIN
// Whether this is Wine, which lets some things through that Windows refuses.
bool isWine();
#endif
// Removes a tree with paths too long for QTemporaryDir to remove.
bool removeDeepTree(const QString &path);

// Whether an unprivileged child can be had; when not, why not.
bool canDropPrivileges(QString *why);
// Opens a tree's root and its parents' search bits to the unprivileged user.
void shareWithUnprivileged(const QString &root);
