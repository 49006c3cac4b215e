// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
// The parts of the tree builder and the program runner that POSIX systems do
// their own way: times, links, special files, modes and other users.
#include "testtree.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr uid_t NobodyId = 65534;

// A home of the unprivileged user's own, as a user run by cron or a service
// has: with root's, fontconfig has nowhere to keep its cache and prints a
// line for each font directory whenever the system's cache is missing or
// stale, as it can be on a fresh machine.
QString unprivilegedHome()
{
    static QTemporaryDir home;
    static const bool owned = home.isValid()
            && ::chown(QFile::encodeName(home.path()).constData(), NobodyId, NobodyId) == 0;
    return owned ? home.path() : QString();
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

void TestTree::makeDirectory(const QString &path)
{
    QDir().mkpath(path);
}

bool TestTree::writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

TestTree &TestTree::touch(const QString &relative, qint64 secs, long nanoseconds)
{
    const struct timespec times[2] = {{time_t(secs), nanoseconds}, {time_t(secs), nanoseconds}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path(relative)).constData(), times,
                AT_SYMLINK_NOFOLLOW);
    return *this;
}

namespace {

// Writes "x" into a new file leaf of the directory fd, with the tests' time.
bool writeLeaf(int fd, const QByteArray &leaf)
{
    const int file = fd < 0 ? -1 : ::openat(fd, leaf.constData(), O_WRONLY | O_CREAT, 0644);
    const struct timespec times[2] = {{1375106531, 0}, {1375106531, 0}};
    const bool written = file >= 0 && ::write(file, "x", 1) == 1 && ::futimens(file, times) == 0;
    ::close(file);
    return written;
}

} // namespace

TestTree &TestTree::chain(const QString &relative, const QString &name, int depth,
                          const QString &leaf, const QString &side)
{
    dir(relative);
    const QByteArray n = QFile::encodeName(name);
    const QByteArray s = QFile::encodeName(side);
    const QByteArray l = QFile::encodeName(leaf);
    int fd = ::open(QFile::encodeName(path(relative)).constData(), O_RDONLY | O_DIRECTORY);
    bool made = fd >= 0;
    for (int i = 0; i < depth && made; ++i) {
        if (!side.isEmpty()) {
            ::mkdirat(fd, s.constData(), 0755);
            const int sideFd = ::openat(fd, s.constData(), O_RDONLY | O_DIRECTORY);
            made = writeLeaf(sideFd, l);
            ::close(sideFd);
        }
        ::mkdirat(fd, n.constData(), 0755);
        const int next = ::openat(fd, n.constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        made = made && fd >= 0;
    }
    if (!made || !writeLeaf(fd, l))
        qFatal("cannot make a chain of %d in %s", depth, qPrintable(path(relative)));
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

bool useTimeZone(const char *zone, QString *)
{
    qputenv("TZ", zone);
    tzset();
    return true;
}

bool canMakeLongPaths(QString *)
{
    return true;
}

bool removeDeepTree(const QString &path)
{
    return QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), path}) == 0;
}

bool TestTree::canMake(const QStringList &, QString *)
{
    return true;
}

QProcessEnvironment withFault(QProcessEnvironment env, const QString &fault)
{
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VORN_FAULT_LIBRARY));
    env.insert(QStringLiteral("VORN_FAULT"), fault);
    // A sanitized program wants its runtime loaded first; the shim has none.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0"));
    return env;
}

void startProgram(QProcess &process, const QList<QByteArray> &arguments,
                  const QProcessEnvironment &environment, const ChildLimits &limits)
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
    QProcessEnvironment env = environment;
    if (limits.unprivileged && ::geteuid() == 0 && !unprivilegedHome().isEmpty())
        env.insert(QStringLiteral("HOME"), unprivilegedHome());
    QList<QByteArray> assignments;
    for (const QString &assignment : env.toStringList())
        assignments << QFile::encodeName(assignment);
    std::vector<char *> argv;
    for (QByteArray &s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (QByteArray &s : assignments)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    // The child may run on this process's stack until execve (vfork), and
    // never returns to clear a sanitizer's marks on its frames there: they
    // would be taken for errors in the frames the test later puts there.
    const auto child = [limits, &argv, &envp]() __attribute__((no_sanitize("address"))) {
        if (limits.fileSizeLimit >= 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit cap = {rlim_t(limits.fileSizeLimit), rlim_t(limits.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &cap);
        }
        if (limits.umask >= 0)
            ::umask(mode_t(limits.umask));
        if (limits.openFiles >= 0) {
            // Counted from a table that holds the standard streams alone:
            // what the test's own parent left open is not the program's.
            ::close_range(3, ~0U, 0);
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
        if (limits.standardStreamsClosed) {
            ::close(STDIN_FILENO);
            ::close(STDOUT_FILENO);
            ::close(STDERR_FILENO);
        }
        if (limits.unprivileged && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(NobodyId) != 0
                || ::setuid(NobodyId) != 0)
                ::_exit(99);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    };
    process.setChildProcessModifier(child);
    process.start(programPath(), {});
}
