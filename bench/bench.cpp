// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// Measures the list's cost against find(1) writing the same fields, on one
// tree, alternating the runs so that all of them see the same machine; and
// the walk's thread counts against the one-thread walk, warm and cold.
#include "treegen.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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
// every run: a digest to compare runs and the number of entries.
struct ListDigest {
    QByteArray hash;
    qint64 entries = 0;
};

struct Contender {
    QByteArray label;
    std::vector<QByteArray> argv;
    bool setTz = false;
    QByteArray threads; // the thread count the program is given; empty: its default
    QByteArray outputFile; // empty: stdout as it is
    std::vector<Sample> warm;
    std::vector<Sample> cold;
    ListDigest list;
};

// Runs one command to its end through the launcher.
bool runOnce(const Contender &c, Sample *sample)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TZ"));
    if (c.setTz)
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
        if (line.startsWith("filelist.sync,") || line.startsWith("filelist.sync.new,"))
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

bool measure(Contender &c, std::vector<Sample> *into, const QString &listFile)
{
    Sample s;
    if (!runOnce(c, &s)) {
        std::fprintf(stderr, "%s failed\n", c.label.constData());
        return false;
    }
    into->push_back(s);
    if (c.outputFile.isEmpty())
        c.list = digestList(listFile);
    return true;
}

QByteArray ratio(double over, double under)
{
    return under > 0 ? QByteArray::number(over / under, 'f', 2) : QByteArray("-");
}

void usage()
{
    std::fprintf(stderr,
                 "usage: vorn_bench [--rounds N] [--seed S] [--threads N,N...] [--cold] [--without-find]\n"
                 "                  TREE ENTRIES\n"
                 "  makes TREE with about ENTRIES entries unless it exists, then times the\n"
                 "  list against find -printf on it, and the walk with one thread against its\n"
                 "  default thread count and the counts given with --threads;\n"
                 "  --cold adds runs after emptying the page cache (root only);\n"
                 "  --without-find leaves find out, which takes minutes on big trees\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int rounds = 5;
    quint32 seed = 1;
    bool cold = false;
    bool withFind = true;
    QList<QByteArray> threadCounts{"1"};
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--cold")) {
            cold = true;
            continue;
        }
        if (option == QLatin1String("--without-find")) {
            withFind = false;
            continue;
        }
        if (args.isEmpty()) {
            usage();
            return 2;
        }
        const QString value = args.takeFirst();
        if (option == QLatin1String("--rounds")) {
            rounds = qMax(1, value.toInt());
        } else if (option == QLatin1String("--seed")) {
            seed = value.toUInt();
        } else if (option == QLatin1String("--threads")) {
            for (const QString &count : value.split(QLatin1Char(','))) {
                if (count.toInt() > 1 && !threadCounts.contains(count.toLatin1()))
                    threadCounts << count.toLatin1();
            }
        } else {
            usage();
            return 2;
        }
    }
    if (args.size() != 2) {
        usage();
        return 2;
    }
    const QString tree = QFileInfo(args.at(0)).absoluteFilePath();
    const qint64 wanted = args.at(1).toLongLong();
    if (!QFileInfo::exists(tree)) {
        QElapsedTimer t;
        t.start();
        const qint64 made = generateTree(tree, wanted, seed);
        std::printf("made %s: %lld entries in %.1f s\n", qPrintable(tree), made,
                    double(t.elapsed()) / 1e3);
    }

    const QByteArray listTree =
            QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/vorn_listtree"));
    const QByteArray treeBytes = QFile::encodeName(tree);
    const QString listFile = tree + QStringLiteral("/filelist.sync");
    QTemporaryDir scratch;
    const QByteArray findOut = QFile::encodeName(scratch.path() + QStringLiteral("/find.out"));
    const QString emptyDir = scratch.path() + QStringLiteral("/empty");
    const QByteArray empty = QFile::encodeName(emptyDir);
    QDir().mkpath(emptyDir);

    // The first two and the last two make the table against find; the
    // program with TZ set and the others its thread counts.
    std::vector<Contender> contenders = {
        {"program, TZ unset", {listTree, treeBytes}, false, {}, {}, {}, {}, {}},
        {"program, TZ set", {listTree, treeBytes}, true, {}, {}, {}, {}, {}},
    };
    for (const QByteArray &count : threadCounts) {
        contenders.push_back({"program, TZ set, " + count + (count == "1" ? " thread" : " threads"),
                              {listTree, treeBytes}, true, count, {}, {}, {}, {}});
    }
    const size_t programs = contenders.size();
    const size_t findUnset = programs;
    const size_t findSet = programs + 1;
    if (withFind) {
        contenders.push_back({"find -printf, TZ unset", {"find", treeBytes, "-printf", FindFormat},
                              false, {}, findOut, {}, {}, {}});
        contenders.push_back({"find -printf, TZ set", {"find", treeBytes, "-printf", FindFormat},
                              true, {}, findOut, {}, {}, {}});
    }
    const size_t oneThread = 2;
    std::vector<size_t> threadRows;
    for (size_t i = oneThread; i < programs; ++i)
        threadRows.push_back(i);
    threadRows.push_back(1);

    // Start-up footprint: the program on an empty directory.
    Contender startup{"program, empty directory", {listTree, empty}, false, {}, {}, {}, {}, {}};
    for (int i = 0; i < 3; ++i) {
        if (!measure(startup, &startup.warm, emptyDir + QStringLiteral("/filelist.sync")))
            return 1;
    }

    // One run of the program reads every directory and inode into the cache.
    Sample warmUp;
    if (!runOnce(contenders[0], &warmUp))
        return 1;
    for (int round = 0; round < rounds; ++round) {
        for (Contender &c : contenders) {
            if (!measure(c, &c.warm, listFile))
                return 1;
        }
    }

    QString noCold = QStringLiteral("not asked for (--cold)");
    for (int round = 0; cold && round < rounds; ++round) {
        for (size_t row : threadRows) {
            if (!dropCaches(&noCold)) {
                cold = false;
                break;
            }
            if (!measure(contenders[row], &contenders[row].cold, listFile))
                return 1;
        }
    }
    for (size_t row : threadRows) {
        if (!cold)
            contenders[row].cold.clear();
    }

    const qint64 entries = qMax<qint64>(contenders[0].list.entries, 1);
    const double basePeak = medianOf(startup.warm, &Sample::peakKiB);
    std::printf("\ntree %s: %lld listed entries; %d rounds after a warm-up run, medians\n",
                qPrintable(tree), contenders[0].list.entries, rounds);
    std::printf("program = vorn_listtree, the app's walk and save without the window;\n"
                "wall = spawn to exit; cpu = user + sys; start-up peak RSS %.1f MiB\n\n",
                basePeak / 1024);
    std::printf("| run | wall ms | cpu ms | peak RSS MiB | cpu µs/entry | RSS bytes/entry above start-up |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    for (size_t i : {size_t(0), size_t(1), findUnset, findSet}) {
        if (i >= contenders.size())
            continue;
        const Contender &c = contenders[i];
        const double peak = medianOf(c.warm, &Sample::peakKiB);
        const double cpu = medianOf(c.warm, &Sample::cpuMs);
        std::printf("| %s | %.0f | %.0f | %.1f | %.2f | %s |\n", c.label.constData(),
                    medianOf(c.warm, &Sample::wallMs), cpu, peak / 1024,
                    cpu * 1e3 / double(entries),
                    c.outputFile.isEmpty()
                            ? QByteArray::number((peak - basePeak) * 1024 / double(entries), 'f', 0)
                                      .constData()
                            : "-");
    }
    // Each program run against find in the same time zone setting.
    for (size_t i = 0; withFind && i < 2; ++i) {
        const Contender &program = contenders[i];
        const Contender &find = contenders[findUnset + i];
        std::printf("\nratio %s / %s: wall %s, cpu %s", program.label.constData(),
                    find.label.constData(),
                    ratio(medianOf(program.warm, &Sample::wallMs),
                          medianOf(find.warm, &Sample::wallMs)).constData(),
                    ratio(medianOf(program.warm, &Sample::cpuMs),
                          medianOf(find.warm, &Sample::cpuMs)).constData());
    }

    std::printf("\n\nthread counts (%s; default = variable unset), TZ set; cold: %s\n\n",
                ThreadsVariable,
                cold ? "sync and 3 written to /proc/sys/vm/drop_caches before each run"
                     : qPrintable(QStringLiteral("skipped, ") + noCold));
    std::printf("| threads | warm wall ms | warm cpu ms | peak RSS MiB | warm wall / 1 thread | warm cpu / 1 thread "
                "| cold wall ms | cold cpu ms | cold wall / 1 thread | cold cpu / 1 thread |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    const Contender &one = contenders[oneThread];
    for (size_t row : threadRows) {
        const Contender &c = contenders[row];
        std::printf("| %s | %.0f | %.0f | %.1f | %s | %s | %s | %s | %s | %s |\n",
                    c.threads.isEmpty() ? "default" : c.threads.constData(),
                    medianOf(c.warm, &Sample::wallMs), medianOf(c.warm, &Sample::cpuMs),
                    medianOf(c.warm, &Sample::peakKiB) / 1024,
                    ratio(medianOf(c.warm, &Sample::wallMs), medianOf(one.warm, &Sample::wallMs)).constData(),
                    ratio(medianOf(c.warm, &Sample::cpuMs), medianOf(one.warm, &Sample::cpuMs)).constData(),
                    cold ? QByteArray::number(medianOf(c.cold, &Sample::wallMs), 'f', 0).constData() : "-",
                    cold ? QByteArray::number(medianOf(c.cold, &Sample::cpuMs), 'f', 0).constData() : "-",
                    ratio(medianOf(c.cold, &Sample::wallMs), medianOf(one.cold, &Sample::wallMs)).constData(),
                    ratio(medianOf(c.cold, &Sample::cpuMs), medianOf(one.cold, &Sample::cpuMs)).constData());
    }
    const Contender &byDefault = contenders[1];
    std::printf("\nratio default threads / 1 thread, warm: wall %s, cpu %s",
                ratio(medianOf(byDefault.warm, &Sample::wallMs), medianOf(one.warm, &Sample::wallMs)).constData(),
                ratio(medianOf(byDefault.warm, &Sample::cpuMs), medianOf(one.warm, &Sample::cpuMs)).constData());
    if (cold) {
        std::printf("\nratio default threads / 1 thread, cold: wall %s, cpu %s",
                    ratio(medianOf(byDefault.cold, &Sample::wallMs), medianOf(one.cold, &Sample::wallMs)).constData(),
                    ratio(medianOf(byDefault.cold, &Sample::cpuMs), medianOf(one.cold, &Sample::cpuMs)).constData());
    }
    if (withFind) {
        std::printf("\nratio %s / %s: cpu %s", one.label.constData(), contenders[findSet].label.constData(),
                    ratio(medianOf(one.warm, &Sample::cpuMs), medianOf(contenders[findSet].warm, &Sample::cpuMs))
                            .constData());
    }
    std::printf("\n");

    bool same = true;
    for (size_t i = 1; i < programs; ++i)
        same = same && contenders[i].list.hash == contenders[0].list.hash;
    std::printf("lists of every program run (TZ set and unset, every thread count): %s\n",
                same ? "identical" : "DIFFERENT");
    return same ? 0 : 1;
}
