// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// Measures the list's cost on one tree: the walk with one thread against its
// default and the thread counts given, and against find(1) writing the same
// fields, alternating the runs so that all of them see the same machine;
// warm, cold (the page cache emptied before each run) or through slowfs, a
// file system whose every metadata request waits as a server's would.
#include "slowmount.h"
#include "treegen.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

const char FindFormat[] = "%P,%TY-%Tm-%TdT%TH:%TM:%.2TS,%s\\n";
const char ThreadsVariable[] = "VORN_FILESYNC_LIST_THREADS";

struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
    double peakKiB = 0;
};

// What a program run wrote, without the list's own line, which changes with
// every run: a digest to compare runs, and the number of entries.
struct ListDigest {
    QByteArray hash;
    qint64 entries = 0;
};

struct Contender {
    QByteArray label;
    std::vector<QByteArray> argv;
    QByteArray threads;    // the thread count the program is given; empty: its default
    QByteArray outputFile; // empty: stdout as it is
    std::vector<Sample> warm;
    std::vector<Sample> cold;
    ListDigest list;
};

struct Options {
    TreeShape shape = TreeShape::Share;
    int rounds = 5;
    quint32 seed = 1;
    bool cold = false;
    bool withFind = true;
    int slowfsLatencyUs = -1; // below 0: not through slowfs
    QString slowfs;
    QList<QByteArray> threadCounts{"1", ""};
    QString tree;
    qint64 size = 0;
};

// Runs one command to its end through the launcher, which measures it.
bool runOnce(const Contender &c, Sample *sample)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Set, so that neither the program nor find looks the zone up each time.
    env.insert(QStringLiteral("TZ"), QStringLiteral(":/etc/localtime"));
    env.remove(QLatin1String(ThreadsVariable));
    if (!c.threads.isEmpty())
        env.insert(QLatin1String(ThreadsVariable), QString::fromLatin1(c.threads));
    QStringList arguments{c.outputFile.isEmpty() ? QStringLiteral("-")
                                                 : QString::fromLocal8Bit(c.outputFile)};
    for (const QByteArray &a : c.argv)
        arguments << QString::fromLocal8Bit(a);
    QProcess launcher;
    launcher.setProcessEnvironment(env);
    launcher.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vorn_rusage"),
                   arguments);
    if (!launcher.waitForFinished(-1) || launcher.exitCode() != 0)
        return false;
    const QList<QByteArray> fields = launcher.readAllStandardOutput().simplified().split(' ');
    if (fields.size() != 4)
        return false;
    sample->wallMs = fields[0].toDouble();
    sample->cpuMs = fields[1].toDouble();
    sample->peakKiB = fields[2].toDouble();
    return fields[3].toInt() == 0;
}

double medianOf(const std::vector<Sample> &samples, double Sample::*field)
{
    std::vector<double> values;
    for (const Sample &s : samples)
        values.push_back(s.*field);
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    if (n == 0)
        return 0;
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Read line by line: at ten million entries the list is too big to hold twice.
ListDigest digestList(const QString &listFile)
{
    ListDigest digest;
    QFile f(listFile);
    if (!f.open(QIODevice::ReadOnly))
        return digest;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        if (line.startsWith("filelist.sync,"))
            continue;
        hash.addData(line);
        ++digest.entries;
    }
    digest.hash = hash.result();
    return digest;
}

// Empties the page cache, dentries and inodes, after writing back what is
// dirty; says why not when it cannot.
bool dropCaches(QString *why)
{
    if (::geteuid() != 0) {
        *why = QStringLiteral("not running as root");
        return false;
    }
    ::sync();
    QFile control(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (!control.open(QIODevice::WriteOnly) || control.write("3\n") != 2 || !control.flush()) {
        *why = QStringLiteral("cannot write /proc/sys/vm/drop_caches: ") + control.errorString();
        return false;
    }
    return true;
}

QByteArray number(qint64 n)
{
    QLocale c = QLocale::c();
    c.setNumberOptions({});
    return c.toString(n).toLatin1();
}

QByteArray ratio(double over, double under)
{
    return under > 0 && over > 0 ? QByteArray::number(over / under, 'f', 2) : QByteArray("-");
}

QByteArray treeLabel(const Options &options, qint64 listed)
{
    QByteArray label;
    switch (options.shape) {
    case TreeShape::Share:
        label = number(listed) + " entries";
        break;
    case TreeShape::Chain:
        label = "chain of " + number(options.size) + " levels";
        break;
    case TreeShape::Comb:
        label = "comb of " + number(options.size) + " levels";
        break;
    case TreeShape::Flat:
        label = "one directory of " + number(options.size) + " files";
        break;
    }
    if (options.slowfsLatencyUs >= 0)
        label += ", slowfs " + QByteArray::number(options.slowfsLatencyUs) + " µs";
    return label;
}

void printRows(const QByteArray &tree, const std::vector<Contender> &contenders,
               std::vector<Sample> Contender::*samples, const Contender *find)
{
    const Contender &one = contenders.front();
    const double oneWall = medianOf(one.*samples, &Sample::wallMs);
    const double oneCpu = medianOf(one.*samples, &Sample::cpuMs);
    const double findCpu = find ? medianOf(find->*samples, &Sample::cpuMs) : 0;
    bool first = true;
    for (const Contender &c : contenders) {
        if ((c.*samples).empty())
            continue;
        const double wall = medianOf(c.*samples, &Sample::wallMs);
        const double cpu = medianOf(c.*samples, &Sample::cpuMs);
        std::printf("| %s | %s | %.0f | %.0f | %.1f | %s | %s | %s |\n",
                    first ? tree.constData() : "", c.label.constData(), wall, cpu,
                    medianOf(c.*samples, &Sample::peakKiB) / 1024, ratio(wall, oneWall).constData(),
                    ratio(cpu, oneCpu).constData(), ratio(cpu, findCpu).constData());
        first = false;
    }
}

void usage()
{
    std::fprintf(stderr,
                 "usage: vorn_bench [--shape share|chain|comb|flat] [--rounds N] [--seed S]\n"
                 "                  [--threads N,N...] [--cold] [--without-find]\n"
                 "                  [--slowfs-latency-us N] [--slowfs PROGRAM] TREE SIZE\n"
                 "  makes TREE unless it exists: a share of about SIZE entries, a chain or a\n"
                 "  comb of SIZE levels, or one directory of SIZE files; then times the walk\n"
                 "  with one thread, its default and the counts given, and find -printf;\n"
                 "  --cold adds runs after emptying the page cache (root only);\n"
                 "  --without-find leaves find out, which takes minutes on big trees;\n"
                 "  --slowfs-latency-us runs them all through slowfs with that latency\n"
                 "  (PROGRAM, or the one built with the project; skipped without FUSE)\n");
}

bool parse(QStringList args, Options *o)
{
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--cold")) {
            o->cold = true;
            continue;
        }
        if (option == QLatin1String("--without-find")) {
            o->withFind = false;
            continue;
        }
        if (args.isEmpty())
            return false;
        const QString value = args.takeFirst();
        if (option == QLatin1String("--rounds")) {
            o->rounds = qMax(1, value.toInt());
        } else if (option == QLatin1String("--seed")) {
            o->seed = value.toUInt();
        } else if (option == QLatin1String("--slowfs-latency-us")) {
            o->slowfsLatencyUs = qMax(0, value.toInt());
        } else if (option == QLatin1String("--slowfs")) {
            o->slowfs = value;
        } else if (option == QLatin1String("--threads")) {
            for (const QString &count : value.split(QLatin1Char(','))) {
                if (count.toInt() > 1 && !o->threadCounts.contains(count.toLatin1()))
                    o->threadCounts << count.toLatin1();
            }
        } else if (option == QLatin1String("--shape")) {
            const QStringList shapes{"share", "chain", "comb", "flat"};
            if (!shapes.contains(value))
                return false;
            o->shape = TreeShape(shapes.indexOf(value));
        } else {
            return false;
        }
    }
    if (args.size() != 2)
        return false;
    o->tree = QFileInfo(args.at(0)).absoluteFilePath();
    o->size = args.at(1).toLongLong();
    return o->size > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(app.arguments().mid(1), &options)) {
        usage();
        return 2;
    }
    if (!QFileInfo::exists(options.tree)) {
        QElapsedTimer t;
        t.start();
        const qint64 made = generateTree(options.tree, options.shape, options.size, options.seed);
        std::printf("made %s: %lld entries in %.1f s\n", qPrintable(options.tree), made,
                    double(t.elapsed()) / 1e3);
    }

    QTemporaryDir scratch;
    QString target = options.tree;
    SlowMount slow;
    if (options.slowfsLatencyUs >= 0) {
        target = scratch.path() + QStringLiteral("/mnt");
        QDir().mkpath(target);
        QString why;
        const QString program = options.slowfs.isEmpty() ? SlowMount::builtProgram() : options.slowfs;
        if (!slow.mount(program, options.tree, target, options.slowfsLatencyUs, &why)) {
            std::printf("slowfs skipped: %s\n", qPrintable(why));
            return 0;
        }
        // Every request waits and nothing is cached: each run is cold.
        options.cold = false;
    }

    const QByteArray listTree =
            QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/vorn_listtree"));
    const QByteArray targetBytes = QFile::encodeName(target);
    const QString listFile = target + QStringLiteral("/filelist.sync");
    const QByteArray findOut = QFile::encodeName(scratch.path() + QStringLiteral("/find.out"));
    const QString emptyDir = scratch.path() + QStringLiteral("/empty");
    QDir().mkpath(emptyDir);

    std::vector<Contender> contenders;
    for (const QByteArray &count : options.threadCounts) {
        const QByteArray label = count.isEmpty() ? "default"
                                                 : count + (count == "1" ? " thread" : " threads");
        contenders.push_back({label, {listTree, targetBytes}, count, {}, {}, {}, {}});
    }
    const size_t programs = contenders.size();
    if (options.withFind) {
        contenders.push_back({"find -printf", {"find", targetBytes, "-printf", FindFormat}, {},
                              findOut, {}, {}, {}});
    }

    // Start-up footprint: the program on an empty directory.
    Contender startup{"empty", {listTree, QFile::encodeName(emptyDir)}, {}, {}, {}, {}, {}};
    for (int i = 0; i < 3; ++i) {
        Sample s;
        if (!runOnce(startup, &s))
            return 1;
        startup.warm.push_back(s);
    }
    // One run reads the tree into the cache and leaves the list that the
    // measured runs replace.
    Sample warmUp;
    if (!runOnce(contenders.front(), &warmUp))
        return 1;

    const auto measure = [&listFile](Contender &c, std::vector<Sample> *into) {
        Sample s;
        if (!runOnce(c, &s)) {
            std::fprintf(stderr, "%s failed\n", c.label.constData());
            return false;
        }
        into->push_back(s);
        if (c.outputFile.isEmpty())
            c.list = digestList(listFile);
        return true;
    };
    for (int round = 0; round < options.rounds; ++round) {
        for (Contender &c : contenders) {
            if (!measure(c, &c.warm))
                return 1;
        }
    }
    QString noCold = QStringLiteral("not asked for (--cold)");
    for (int round = 0; options.cold && round < options.rounds; ++round) {
        for (Contender &c : contenders) {
            if (!dropCaches(&noCold)) {
                options.cold = false;
                break;
            }
            if (!measure(c, &c.cold))
                return 1;
        }
    }

    const Contender *find = options.withFind ? &contenders.back() : nullptr;
    const QByteArray tree = treeLabel(options, contenders.front().list.entries);
    std::printf("\n%s: %s; medians of %d rounds after a warm-up run; start-up peak RSS %.1f MiB;\n"
                "the program is vorn_listtree, the window's run without the window; TZ set\n\n",
                qPrintable(options.tree), tree.constData(), options.rounds,
                medianOf(startup.warm, &Sample::peakKiB) / 1024);
    std::printf("| tree | run | wall ms | cpu ms | peak RSS MiB | wall / 1 thread | cpu / 1 thread | cpu / find |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|\n");
    printRows(tree, contenders, &Contender::warm, find);
    if (options.cold)
        printRows(tree + ", cold", contenders, &Contender::cold, find);
    else if (options.slowfsLatencyUs < 0)
        std::printf("\ncold runs skipped: %s\n", qPrintable(noCold));

    bool same = true;
    for (size_t i = 1; i < programs; ++i)
        same = same && contenders[i].list.hash == contenders[0].list.hash;
    std::printf("\nlists of every program run: %s\n", same ? "identical" : "DIFFERENT");
    return same ? 0 : 1;
}
