// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "testtree.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <memory>
#include <vector>

// Every failure tried in turn, as SQLite tests itself: for each kind of call
// the walk and the writer make, an unfaulted run counts the calls (the shim,
// faultsweep.cpp, tells which count), then runs fail the 1st, the 2nd, ... the
// Nth, once or from then on. Whatever fails, every run ends by itself and soon
// after a stop signal, leaves the exact list or the previous one byte for
// byte and no new file, and says which in its last line and its exit status;
// storage that fails to be read keeps the previous list. By default each row
// tries the first N, the last, a stride and a fixed random sample;
// VORN_SWEEP_EVERY=1 tries every N (rows then outlast QtTest's watchdog and
// its cap on messages: raise QTEST_FUNCTION_TIMEOUT, pass -maxwarnings 0),
// VORN_SWEEP_N=N that one alone, told in full.
class tst_FaultSweep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sweep_data();
    void sweep();
};

namespace {

const QStringList Kinds = {"alloc", "open",  "emfile", "read",   "stat", "write", "sync",
                           "rename", "close", "unlink", "lock", "chmod", "thread"};
// Runs at once: most of a run is the program starting and waiting on itself.
constexpr int Slots = 6;
// A run on its own takes well under a second, under AddressSanitizer too.
constexpr qint64 TimeoutMs = 20000;
// From a stop signal to the end of the process.
constexpr qint64 StopMs = 5000;
// The runs of a row of many calls: the first, the last, a stride and a fixed
// random sample.
constexpr int Sample = 10;
const QByteArray Previous = "d00,,0\r\nfile-0000,2013-07-29T14:02:11,1\r\n";
const QString NewName = QStringLiteral("share/filelist.sync.new");

// A top level wider than one 32 KiB read of it, links to a directory and to
// a file, an excluded name, a few levels and a previous list.
void makeTree(TestTree &t)
{
    for (int i = 0; i < 1800; ++i)
        t.file(QStringLiteral("share/file-%1").arg(i, 4, 10, QLatin1Char('0')));
    for (int d = 0; d < 20; ++d) {
        const QString dir = QStringLiteral("share/d%1/").arg(d, 2, 10, QLatin1Char('0'));
        t.file(dir + u'x');
        for (int f = 0; f < 5; ++f)
            t.file(dir + QStringLiteral("e0/f%1").arg(f))
                    .file(dir + QStringLiteral("e1/f%1").arg(f));
    }
    t.file(QStringLiteral("share/d00/e0/deep/er/est/leaf")).file(QStringLiteral("share/temp/x"));
    t.link(QStringLiteral("share/linkdir"), QStringLiteral("d01"))
            .link(QStringLiteral("share/linkfile"), QStringLiteral("file-0000"))
            .file(QStringLiteral("share/filelist.sync"), Previous);
}

int statusOf(const QString &line)
{
    if (line.startsWith(QLatin1String("filelist: saved ")))
        return 0;
    const QString kept = QStringLiteral("filelist: not saved, the previous list is kept (the ");
    if (line == kept + QStringLiteral("tree could not be listed exactly)"))
        return 1;
    if (line == kept + QStringLiteral("list could not be written)"))
        return 2;
    return line == QLatin1String("filelist: cancelled, the previous list is kept") ? 3 : -1;
}

QString lastLine(const QByteArray &err)
{
    const QStringList lines = programLines(err);
    return lines.isEmpty() ? QString() : lines.last();
}

// Where a death happened, from the shim's crash log: the library of the
// first frame past the shim, the signal's trampoline, raise and abort, and
// the C++ runtime's terminate and throw machinery, and the frames from there
// as module+offset(symbol).
QString whereDied(const QByteArray &crash)
{
    QList<QByteArray> frames = crash.split('\n');
    const bool aborted = frames.takeFirst() == "signal 6";
    while (!frames.isEmpty()
           && (frames.first().isEmpty() || frames.first().contains("libfaultinject")))
        frames.removeFirst();
    frames = frames.mid(1);
    const auto abort = std::find_if(frames.begin(), frames.end(), [](const QByteArray &f) {
        return f.contains("/libc.") && f.endsWith(" abort");
    });
    if (aborted && abort != frames.end())
        frames.erase(frames.begin(), abort + 1);
    while (aborted && !frames.isEmpty()
           && (frames.first().contains("/libstdc++") || frames.first().contains("/libgcc_s")))
        frames.removeFirst();
    QStringList shown;
    for (const QByteArray &frame : frames.mid(0, 8)) {
        const QList<QByteArray> parts = frame.split(' ');
        if (parts.size() == 3)
            shown << QString::fromLocal8Bit(parts[0].mid(parts[0].lastIndexOf('/') + 1) + parts[1]
                                            + '(' + parts[2] + ')');
    }
    if (shown.isEmpty())
        return QStringLiteral("(no frames)");
    const QString &top = shown.first();
    const QString module = top.left(top.indexOf(QLatin1String("+0x")));
    const QString where = module == QLatin1String("vorn_filesync_list") ? QStringLiteral("program")
            : module.startsWith(QLatin1String("libQt6"))               ? QStringLiteral("Qt")
            : module.startsWith(QLatin1String("libc."))                ? QStringLiteral("C library")
            : module.startsWith(QLatin1String("libstdc++"))            ? QStringLiteral("libstdc++")
                                                                       : module;
    return where + QStringLiteral(": ") + shown.join(u' ');
}

struct Slot {
    QString root; // holds share/ and out/
    QProcess process;
    qint64 n = 0;
    bool busy = false;
    QElapsedTimer clock;
    qint64 stoppedAt = -1; // when the driver sent SIGTERM, on clock
    bool hung = false;
    bool killed = false;
    QByteArray err;
    qint64 endedAt = 0; // CLOCK_MONOTONIC milliseconds, as the shim's strikes
};

struct Row {
    QString kind;
    bool fromThenOn;
    int threads;
    int openFiles;
    bool stop;
};

struct Tally {
    int runs = 0, saved = 0, kept = 0, cancelled = 0;
};

QTemporaryDir *workDir;
std::vector<std::unique_ptr<Slot>> runners;
QByteArray exact;
QHash<QString, QHash<QString, qint64>> countsBy; // by threads and descriptors

void start(Slot &s, const Row &row, qint64 n, bool counting)
{
    QDir(s.root + QStringLiteral("/out")).removeRecursively();
    QDir(s.root).mkdir(QStringLiteral("out"));
    QProcessEnvironment env = withFault(cleanEnvironment(), QString());
    env.remove(QStringLiteral("VORN_FAULT"));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               QStringLiteral("verify_asan_link_order=0:detect_leaks=0"));
    env.insert(QStringLiteral("VORN_SWEEP_SOURCE"), s.root + QStringLiteral("/share"));
    env.insert(QStringLiteral("VORN_SWEEP_OUT"), s.root + QStringLiteral("/out"));
    env.insert(QStringLiteral("VORN_FILESYNC_LIST_THREADS"), QString::number(row.threads));
    env.insert(QStringLiteral("VORN_FILESYNC_LIST_EXIT_STATUS"), QStringLiteral("1"));
    if (!counting)
        env.insert(QStringLiteral("VORN_SWEEP_FAIL"),
                   QStringLiteral("%1:%2%3%4").arg(row.kind).arg(n).arg(row.fromThenOn ? "+" : "",
                                                                        row.stop ? ":stop" : ""));
    ChildLimits limits;
    limits.openFiles = row.openFiles;
    s.n = n;
    s.busy = true;
    s.stoppedAt = -1;
    s.hung = s.killed = false;
    s.err.clear();
    s.clock.start();
    startProgram(s.process, {QFile::encodeName(s.root), "share"}, env, limits);
}

// Looks after a running program; true once it has ended. A stop signal
// follows the outcome line (the window would stay two seconds), or a hang.
bool ended(Slot &s)
{
    s.err += s.process.readAllStandardError();
    if (s.process.state() == QProcess::NotRunning) {
        struct timespec now = {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        s.endedAt = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
        return true;
    }
    const qint64 now = s.clock.elapsed();
    if (s.stoppedAt < 0 && (statusOf(lastLine(s.err)) >= 0 || now > TimeoutMs)) {
        s.hung = now > TimeoutMs;
        s.stoppedAt = now;
        ::kill(pid_t(s.process.processId()), SIGTERM);
    } else if (s.stoppedAt >= 0 && now - s.stoppedAt > StopMs && !s.killed) {
        s.killed = true;
        s.process.kill();
    }
    return false;
}

// What a run broke, if anything; counts its outcome.
QStringList judge(Slot &s, const Row &row, Tally &tally)
{
    QStringList wrong;
    const QString line = lastLine(s.err);
    const int status = statusOf(line);
    const bool crashed = s.process.exitStatus() == QProcess::CrashExit;
    const QByteArray list = TestTree(s.root).read(QStringLiteral("share/filelist.sync"));
    const QByteArray out = QFile::encodeName(s.root) + "/out/";
    QFile strikesFile(QFile::decodeName(out + "strikes"));
    // Each "call N thread milliseconds path".
    const QStringList strikes = strikesFile.open(QIODevice::ReadOnly)
            ? QString::fromLocal8Bit(strikesFile.readAll()).split(u'\n', Qt::SkipEmptyParts)
            : QStringList();
    if (s.hung)
        wrong << (s.killed ? QStringLiteral("hang, deaf to SIGTERM") : QStringLiteral("hang"));
    else if (s.killed)
        wrong << QStringLiteral("still running %1 s after SIGTERM").arg(StopMs / 1000);
    if (crashed && !s.killed) {
        QFile crash(QFile::decodeName(out + "crash"));
        wrong << QStringLiteral("signal %1 at %2").arg(s.process.exitCode())
                         .arg(crash.open(QIODevice::ReadOnly) ? whereDied(crash.readAll())
                                                              : QStringLiteral("(no crash log)"));
    }
    if (s.err.contains("ERROR: AddressSanitizer") || s.err.contains("runtime error:"))
        wrong << QStringLiteral("sanitizer report");
    if (status < 0 && !crashed)
        wrong << QStringLiteral("no outcome line (last: \"%1\")").arg(line);
    if (status >= 0 && !crashed && s.process.exitCode() != status)
        wrong << QStringLiteral("exit status %1 after \"%2\"").arg(s.process.exitCode()).arg(line);
    if (list != exact && list != Previous)
        wrong << (list.isEmpty() ? QStringLiteral("an empty list") : QStringLiteral("a wrong list"));
    else if (status == 0 && list != exact)
        wrong << QStringLiteral("\"saved\" but the previous list is there");
    else if (status > 0 && list != Previous)
        wrong << QStringLiteral("the list was replaced after \"%1\"").arg(line);
    if (QFileInfo::exists(s.root + u'/' + NewName) && !s.killed)
        wrong << QStringLiteral("filelist.sync.new left");
    // Storage that fails to be read keeps the previous list, even where the
    // list came out whole. Opening a directory (open, then fstat of what was
    // opened) may fail and be tried again: the read-ahead leaves a directory
    // whose parent it could not reopen to the walk, which reads it through
    // descriptors of its own, so a failed open shows in the list if anywhere.
    const QString source = s.root + QStringLiteral("/share");
    // The previous list is only compared with: one that cannot be read
    // leaves the counts out, and the list is saved.
    const QString previous = source + QStringLiteral("/filelist.sync");
    for (const QString &strike : strikes) {
        const QString call = strike.section(u' ', 0, 0);
        const QString path = strike.section(u' ', 4);
        if (path == previous && (call == QLatin1String("read") || call == QLatin1String("fstat")))
            continue;
        const bool opening = call == QLatin1String("fstat") || call == QLatin1String("fstat64");
        if ((row.kind == "read" || (row.kind == "stat" && !opening)) && list == exact
            && (path == source || path.startsWith(source + u'/'))) {
            wrong << QStringLiteral("saved though %1 failed on %2").arg(call, path.mid(source.size()));
            break;
        }
    }
    const qint64 afterStop =
            strikes.isEmpty() ? 0 : s.endedAt - strikes[0].section(u' ', 3, 3).toLongLong();
    if (row.stop && afterStop > StopMs)
        wrong << QStringLiteral("ran on %1 ms after its stop signal").arg(afterStop);
    ++tally.runs;
    tally.saved += status == 0 && list == exact;
    tally.kept += (status == 1 || status == 2) && list == Previous;
    tally.cancelled += status == 3 && list == Previous;
    // The next run finds the tree as this one did.
    if (list != Previous)
        TestTree(s.root).file(QStringLiteral("share/filelist.sync"), Previous);
    QFile::remove(s.root + u'/' + NewName);
    QDir(s.root + u'/' + NewName).removeRecursively();
    s.busy = false;
    return wrong;
}

// Runs each N on the slots, as many at once as there are.
void sweepRuns(const Row &row, const QList<qint64> &ns, bool counting, Tally &tally,
               QList<QPair<qint64, QStringList>> &failures,
               const std::function<void(Slot &)> &seen = {})
{
    qsizetype next = 0;
    for (;;) {
        bool busy = false;
        for (const auto &s : runners) {
            if (s->busy && ended(*s)) {
                if (seen)
                    seen(*s);
                const QStringList wrong = judge(*s, row, tally);
                if (!wrong.isEmpty())
                    failures.append(qMakePair(s->n, wrong));
            }
            if (!s->busy && next < ns.size())
                start(*s, row, ns[next++], counting);
            busy = busy || s->busy;
        }
        if (!busy)
            return;
        QTest::qWait(10);
    }
}

QList<qint64> chosen(qint64 count, const QString &tag)
{
    if (qEnvironmentVariableIsSet("VORN_SWEEP_N"))
        return {qEnvironmentVariable("VORN_SWEEP_N").toLongLong()};
    QList<qint64> ns;
    const bool every = qEnvironmentVariableIntValue("VORN_SWEEP_EVERY") == 1;
    if (every || count <= Sample) {
        for (qint64 n = 1; n <= count; ++n)
            ns << n;
        return ns;
    }
    QRandomGenerator random(quint32(qHash(tag)));
    for (int i = 0; i < Sample / 2; ++i)
        ns << 1 + i * (count - 1) / (Sample / 2 - 1) << 1 + qint64(random.bounded(quint64(count)));
    std::sort(ns.begin(), ns.end());
    ns.erase(std::unique(ns.begin(), ns.end()), ns.end());
    return ns;
}

} // namespace

void tst_FaultSweep::initTestCase()
{
    // Memory-backed where there is such a place: the lists are synced.
    const bool inMemory = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
    workDir = new QTemporaryDir(inMemory ? QStringLiteral("/dev/shm/tst_faultsweep-XXXXXX")
                                         : QString());
    QVERIFY(workDir->isValid());
    for (int i = 0; i < Slots; ++i) {
        runners.push_back(std::make_unique<Slot>());
        runners.back()->root = workDir->filePath(QString::number(i));
        TestTree t(runners.back()->root);
        makeTree(t);
    }
}

void tst_FaultSweep::sweep_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("fromThenOn");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("openFiles"); // -1: no limit
    QTest::addColumn<bool>("stop"); // SIGTERM right after the first failure

    const auto add = [](int threads, int openFiles, bool stop) {
        for (const QString &kind : Kinds) {
            for (const bool fromThenOn : {false, true}) {
                QString tag = kind + (fromThenOn ? " from then on, " : " once, ")
                        + QString::number(threads) + " threads";
                if (openFiles >= 0)
                    tag += QStringLiteral(", %1 descriptors").arg(openFiles);
                if (stop)
                    tag += QStringLiteral(", stopped");
                QTest::newRow(qPrintable(tag)) << kind << fromThenOn << threads << openFiles << stop;
            }
        }
    };
    for (const int threads : {1, 4, 16})
        add(threads, -1, false);
    add(1, 20, false);
    add(16, 20, false);
    add(4, -1, true);
}

void tst_FaultSweep::sweep()
{
    QFETCH(QString, kind);
    QFETCH(bool, fromThenOn);
    QFETCH(int, threads);
    QFETCH(int, openFiles);
    QFETCH(bool, stop);
#ifdef __SANITIZE_ADDRESS__
    if (openFiles >= 0)
        QSKIP("the sanitizers open descriptors of their own as they check, and this limit leaves "
              "them none");
#endif
    const Row row{kind, fromThenOn, threads, openFiles, stop};
    // An unfaulted run of these threads and descriptors counts the calls
    // and, the first time, gives the exact list.
    const QString config = QStringLiteral("%1/%2").arg(threads).arg(openFiles);
    if (!countsBy.contains(config)) {
        Tally tally;
        QList<QPair<qint64, QStringList>> failures;
        QByteArray said;
        sweepRuns(row, {0}, true, tally, failures, [&](Slot &s) {
            QFile counts(s.root + QStringLiteral("/out/counts"));
            QVERIFY(counts.open(QIODevice::ReadOnly));
            for (const QString &line : QString::fromLatin1(counts.readAll()).split(u'\n'))
                countsBy[config][line.section(u' ', 0, 0)] = line.section(u' ', 1).toLongLong();
            said = s.err;
            const QByteArray list = TestTree(s.root).read(QStringLiteral("share/filelist.sync"));
            if (exact.isEmpty())
                exact = list;
            QCOMPARE(list, exact);
        });
        QVERIFY2(tally.saved == 1 && failures.isEmpty(), said.constData());
    }
    const qint64 count = countsBy[config].value(kind);
    QVERIFY(count > 0);

    Tally tally;
    QList<QPair<qint64, QStringList>> failures;
    const bool told = qEnvironmentVariableIsSet("VORN_SWEEP_N");
    sweepRuns(row, chosen(count, QString::fromLatin1(QTest::currentDataTag())), false, tally, failures,
              [&](Slot &s) {
        if (!told)
            return;
        QFile strikes(s.root + QStringLiteral("/out/strikes"));
        QFile crash(s.root + QStringLiteral("/out/crash"));
        qInfo("exit %d%s\nstandard error:\n%s\nstrikes:\n%s\ncrash:\n%s", s.process.exitCode(),
              s.process.exitStatus() == QProcess::CrashExit ? " (a signal)" : "", s.err.constData(),
              strikes.open(QIODevice::ReadOnly) ? strikes.readAll().constData() : "",
              crash.open(QIODevice::ReadOnly) ? crash.readAll().constData() : "");
    });
    std::sort(failures.begin(), failures.end());
    qInfo("%s: %lld calls, %d runs, %d saved, %d kept, %d cancelled, %lld failed",
          QTest::currentDataTag(), count, tally.runs, tally.saved, tally.kept, tally.cancelled,
          qint64(failures.size()));
    const bool every = qEnvironmentVariableIntValue("VORN_SWEEP_EVERY") == 1;
    for (qsizetype i = 0; i < failures.size() && (every || i < 5); ++i)
        qInfo("  N=%lld: %s; again: VORN_SWEEP_N=%lld %s 'sweep:%s'", failures[i].first,
              qPrintable(failures[i].second.join(QStringLiteral("; "))), failures[i].first,
              qPrintable(QCoreApplication::applicationFilePath()), QTest::currentDataTag());
    QVERIFY2(failures.isEmpty(), "runs broke what every run must keep: see above");
}

void tst_FaultSweep::cleanupTestCase()
{
    runners.clear();
    delete workDir;
}

QTEST_GUILESS_MAIN(tst_FaultSweep)
#include "tst_faultsweep.moc"
