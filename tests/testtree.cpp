// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "testtree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <utility>
#include <vector>
#include <ftw.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <fcntl.h>

namespace {

constexpr uid_t NobodyId = 65534;

QStringList collected;

void collect(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg)
        collected << text;
}

void makeParent(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    std::remove(path);
    return 0;
}

} // namespace

TestTree::~TestTree()
{
    for (const QByteArray &p : std::as_const(m_rawPaths))
        ::nftw(p.constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

TestTree &TestTree::add(const QStringList &items)
{
    for (const QString &item : items) {
        const qsizetype arrow = item.indexOf(QLatin1String(" -> "));
        if (arrow >= 0)
            link(item.left(arrow), item.mid(arrow + 4));
        else if (item.endsWith(u'/'))
            dir(item.chopped(1));
        else if (item.endsWith(u'|'))
            fifo(item.chopped(1));
        else if (item.endsWith(u'='))
            socket(item.chopped(1));
        else
            file(item);
    }
    return *this;
}

TestTree &TestTree::dir(const QString &relative)
{
    QDir().mkpath(path(relative));
    return *this;
}

TestTree &TestTree::file(const QString &relative, const QByteArray &content, qint64 mtime)
{
    const QString p = path(relative);
    makeParent(p);
    QFile f(p);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(p));
    f.close();
    return touch(relative, mtime);
}

TestTree &TestTree::touch(const QString &relative, qint64 secs, long nanoseconds)
{
    const struct timespec times[2] = {{time_t(secs), nanoseconds}, {time_t(secs), nanoseconds}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path(relative)).constData(), times,
                AT_SYMLINK_NOFOLLOW);
    return *this;
}

TestTree &TestTree::chain(const QString &relative, const QString &name, int depth,
                          const QString &leaf)
{
    dir(relative);
    const QByteArray n = QFile::encodeName(name);
    int fd = ::open(QFile::encodeName(path(relative)).constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        ::mkdirat(fd, n.constData(), 0755);
        const int next = ::openat(fd, n.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int file = fd < 0 ? -1 : ::openat(fd, QFile::encodeName(leaf).constData(),
                                             O_WRONLY | O_CREAT, 0644);
    if (file < 0 || ::write(file, "x", 1) != 1)
        qFatal("cannot make a chain of %d in %s", depth, qPrintable(path(relative)));
    const struct timespec times[2] = {{1375106531, 0}, {1375106531, 0}};
    ::futimens(file, times);
    ::close(file);
    ::close(fd);
    return *this;
}

TestTree &TestTree::link(const QString &relative, const QString &target)
{
    makeParent(path(relative));
    QFile::link(target, path(relative));
    return *this;
}

TestTree &TestTree::fifo(const QString &relative)
{
    makeParent(path(relative));
    ::mkfifo(QFile::encodeName(path(relative)).constData(), 0644);
    return *this;
}

TestTree &TestTree::socket(const QString &relative)
{
    makeParent(path(relative));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path(relative));
    if (fd < 0 || size_t(p.size()) >= sizeof address.sun_path)
        qFatal("cannot make a socket at %s", p.constData());
    memcpy(address.sun_path, p.constData(), size_t(p.size()));
    ::bind(fd, reinterpret_cast<struct sockaddr *>(&address), sizeof address);
    ::close(fd);
    return *this;
}

TestTree &TestTree::rawFile(const QString &relative, const QByteArray &name)
{
    dir(relative);
    const QByteArray p = QFile::encodeName(path(relative)) + '/' + name;
    FILE *f = fopen(p.constData(), "w");
    if (!f)
        qFatal("cannot write %s", p.constData());
    fclose(f);
    m_rawPaths << p;
    return *this;
}

TestTree &TestTree::rawDir(const QString &relative, const QByteArray &name)
{
    dir(relative);
    const QByteArray p = QFile::encodeName(path(relative)) + '/' + name;
    if (::mkdir(p.constData(), 0755) != 0)
        qFatal("cannot make %s", p.constData());
    m_rawPaths << p;
    return *this;
}

TestTree &TestTree::chmod(const QString &relative, int mode)
{
    ::chmod(QFile::encodeName(path(relative)).constData(), mode_t(mode));
    return *this;
}

QByteArray TestTree::read(const QString &relative) const
{
    QFile f(path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList withRoot(QStringList texts, const QString &root)
{
    texts.replaceInStrings(QStringLiteral("<root>"), root);
    return texts;
}

DebugMessages::DebugMessages() : m_previous(qInstallMessageHandler(collect))
{
    collected.clear();
}

DebugMessages::~DebugMessages()
{
    qInstallMessageHandler(m_previous);
}

QStringList DebugMessages::take()
{
    return std::exchange(collected, {});
}

QStringList lines(const QByteArray &listFile)
{
    QStringList result;
    for (QByteArray line : listFile.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            result << QString::fromUtf8(line);
    }
    return result;
}

QProcessEnvironment cleanEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"CC_SERVER_ROOT", "CC_SYSTEM", "DISPLAY", "WAYLAND_DISPLAY",
                             "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

bool canDropPrivileges(QString *why)
{
    if (::geteuid() != 0)
        return true; // already unprivileged
    QProcess probe;
    probe.setChildProcessModifier([] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0)
            ::_exit(3);
    });
    probe.start(QStringLiteral("/bin/true"), {});
    if (probe.waitForFinished() && probe.exitCode() == 0)
        return true;
    *why = QStringLiteral("running as root, and cannot switch a child to uid 65534");
    return false;
}

void shareWithUnprivileged(const QString &root)
{
    ::chmod(QFile::encodeName(root).constData(), 0755);
}

QString programPath()
{
    return QStringLiteral(VORN_PROGRAM);
}

QProcessEnvironment withFault(QProcessEnvironment env, const QString &fault)
{
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VORN_FAULT_LIBRARY));
    env.insert(QStringLiteral("VORN_FAULT"), fault);
    // A sanitized program wants its runtime loaded first; the shim has none.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
    return env;
}

RunResult runProgram(const QStringList &arguments, const QProcessEnvironment &environment,
                     const ChildLimits &limits, const std::function<void()> &whileRunning)
{
    QList<QByteArray> bytes;
    for (const QString &argument : arguments)
        bytes << QFile::encodeName(argument);
    return runProgram(bytes, environment, limits, whileRunning);
}

RunResult runProgram(const QList<QByteArray> &arguments, const QProcessEnvironment &environment,
                     const ChildLimits &limits, const std::function<void()> &whileRunning)
{
    // QProcess passes arguments as text; the child once set up starts the
    // program itself, with these bytes. Everything is made ready here, as the
    // child must not allocate.
    QList<QByteArray> strings;
    if (!limits.wrapper.isEmpty()) {
        strings << QFile::encodeName(QStandardPaths::findExecutable(limits.wrapper.first()));
        for (const QString &w : limits.wrapper.mid(1))
            strings << QFile::encodeName(w);
    }
    strings << QFile::encodeName(programPath()) << arguments;
    QList<QByteArray> assignments;
    for (const QString &assignment : environment.toStringList())
        assignments << QFile::encodeName(assignment);
    std::vector<char *> argv;
    for (QByteArray &s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (QByteArray &s : assignments)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    QProcess process;
    process.setChildProcessModifier([limits, &argv, &envp] {
        if (limits.fileSizeLimit >= 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit cap = {rlim_t(limits.fileSizeLimit), rlim_t(limits.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &cap);
        }
        if (limits.umask >= 0)
            ::umask(mode_t(limits.umask));
        if (limits.openFiles >= 0) {
            const struct rlimit cap = {rlim_t(limits.openFiles), rlim_t(limits.openFiles)};
            ::setrlimit(RLIMIT_NOFILE, &cap);
        }
        if (limits.stderrReaderGone) {
            int ends[2];
            if (::pipe(ends) != 0 || ::dup2(ends[1], STDERR_FILENO) < 0)
                ::_exit(98);
            ::close(ends[0]);
            ::close(ends[1]);
            ::signal(SIGPIPE, SIG_DFL); // as a shell starts a pipeline
        }
        if (limits.unprivileged && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(NobodyId) != 0
                || ::setuid(NobodyId) != 0)
                ::_exit(99);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    });
    process.start(programPath(), {});
    if (whileRunning && process.waitForStarted())
        whileRunning();
    RunResult result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    for (const QString &line : err.split(u'\n', Qt::SkipEmptyParts)) {
        // Qt's platform plugins add warnings of their own.
        if (!line.startsWith(QLatin1String("QStandardPaths:"))
            && !line.startsWith(QLatin1String("This plugin does not support")))
            result.messages << line;
    }
    return result;
}
