// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// Measures the list's cost on one tree: the walk with one thread against its
// default and the thread counts given, against the same program of other
// builds (peers), against its own runs without a previous list to compare
// the new one with, and against find(1) writing the same fields to a file,
// alternating the runs so that all of them see the same machine; warm, cold
// (the page cache emptied before each run) or through slowfs, a file system
// whose every metadata request waits as a server's would.
#include "contender.h"
#include "slowmount.h"
#include "treegen.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

const char FindFormat[] = "%P,%TY-%Tm-%TdT%TH:%TM:%.2TS,%s\\r\\n";

struct Peer {
    QByteArray label;
    QString program;
};

struct Options {
    TreeShape shape = TreeShape::Share;
    int rounds = 5;
    quint32 seed = 1;
    bool cold = false;
    bool withFind = true;
    bool withoutList = false;
    int slowfsLatencyUs = -1; // below 0: not through slowfs
    QString slowfs;
    QList<QByteArray> threadCounts{"1", ""};
    QList<Peer> peers;
    QString tree;
    qint64 size = 0;
};

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

// Peak RSS over the same program's run on an empty directory, per entry.
QByteArray bytesPerEntry(const Contender &c, const std::vector<Sample> &samples)
{
    if (c.empty.empty() || c.list.entries == 0)
        return "-";
    const double over = medianOf(samples, &Sample::peakKiB) - medianOf(c.empty, &Sample::peakKiB);
    return QByteArray::number(over * 1024 / double(c.list.entries), 'f', 0);
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
        std::printf("| %s | %s | %.0f | %.0f | %.1f | %s | %s | %s | %s |\n",
                    first ? tree.constData() : "", c.label.constData(), wall, cpu,
                    medianOf(c.*samples, &Sample::peakKiB) / 1024,
                    bytesPerEntry(c, c.*samples).constData(), ratio(wall, oneWall).constData(),
                    ratio(cpu, oneCpu).constData(), ratio(cpu, findCpu).constData());
        first = false;
    }
}

// One run's medians over another's, below 1 where the first costs less.
void printRatios(const char *which, const Contender &own, const char *how, const Contender &other,
                 std::vector<Sample> Contender::*samples)
{
    std::printf("%s, %s%s against %s: wall %s, cpu %s, peak RSS %s\n", which, own.label.constData(),
                how, other.label.constData(),
                ratio(medianOf(own.*samples, &Sample::wallMs),
                      medianOf(other.*samples, &Sample::wallMs)).constData(),
                ratio(medianOf(own.*samples, &Sample::cpuMs),
                      medianOf(other.*samples, &Sample::cpuMs)).constData(),
                ratio(medianOf(own.*samples, &Sample::peakKiB),
                      medianOf(other.*samples, &Sample::peakKiB)).constData());
}

// This build's runs against each peer's of the same thread count, and
// against its own without a previous list.
void printAgainst(const std::vector<Contender> &contenders,
                  std::vector<Sample> Contender::*samples, const char *which)
{
    for (const Contender &other : contenders) {
        if ((other.peer.isEmpty() && !other.withoutList) || (other.*samples).empty())
            continue;
        for (const Contender &own : contenders) {
            if (own.peer.isEmpty() && !own.withoutList && own.isProgram()
                && own.threads == other.threads)
                printRatios(which, own, other.withoutList ? " with a previous list" : "", other,
                            samples);
        }
    }
}

void usage()
{
    std::fprintf(stderr,
                 "usage: vorn_bench [--shape share|chain|comb|flat] [--rounds N] [--seed S]\n"
                 "                  [--threads N,N...] [--peer LABEL=PATH]... [--cold]\n"
                 "                  [--without-find] [--without-list] [--slowfs-latency-us N]\n"
                 "                  [--slowfs PROGRAM] TREE SIZE\n"
                 "  makes TREE unless it exists: a share of about SIZE entries, a chain or a\n"
                 "  comb of SIZE levels, or one directory of SIZE files; then times the walk\n"
                 "  with one thread, its default and the counts given, and find -printf;\n"
                 "  --peer adds the vorn_listtree at PATH (another build) with one thread\n"
                 "  and its default, in the same rounds;\n"
                 "  --cold adds runs after emptying the page cache (root only);\n"
                 "  --without-find leaves find out, which takes minutes on big trees;\n"
                 "  --without-list adds this build's runs with the list removed before each,\n"
                 "  so that there is no previous list to compare the new one with;\n"
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
        if (option == QLatin1String("--without-list")) {
            o->withoutList = true;
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
        } else if (option == QLatin1String("--peer")) {
            const qsizetype eq = value.indexOf(QLatin1Char('='));
            const Peer peer{value.left(eq).toUtf8(), value.mid(eq + 1)};
            if (eq <= 0 || !QFileInfo(peer.program).isExecutable()) {
                std::fprintf(stderr, "--peer %s: not LABEL=PATH of a program\n", qPrintable(value));
                return false;
            }
            o->peers << peer;
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
    // find writes beside the tree, on its file system, as the program writes
    // its list inside it: the cost of writing counts on both sides.
    const QFileInfo treeInfo(options.tree);
    const QString findOut = treeInfo.absolutePath() + QStringLiteral("/.") + treeInfo.fileName()
            + QStringLiteral(".find-out");
    const struct Removal {
        QString path;
        ~Removal() { QFile::remove(path); }
    } findOutRemoval{findOut};
    const QString emptyDir = scratch.path() + QStringLiteral("/empty");
    QDir().mkpath(emptyDir);

    std::vector<Contender> contenders;
    const auto addProgram = [&](const QByteArray &peer, const QByteArray &program,
                                const QByteArray &count) {
        QByteArray label = count.isEmpty() ? "default" : count + (count == "1" ? " thread" : " threads");
        if (!peer.isEmpty())
            label = peer + ", " + label;
        contenders.push_back({label, {program, targetBytes}, count, {}, peer, {}, {}, {}, {}});
    };
    for (const QByteArray &count : options.threadCounts)
        addProgram({}, listTree, count);
    for (const QByteArray &count : options.withoutList ? options.threadCounts : QList<QByteArray>()) {
        addProgram({}, listTree, count);
        contenders.back().label += ", no previous list";
        contenders.back().withoutList = true;
    }
    for (const Peer &peer : options.peers) {
        addProgram(peer.label, QFile::encodeName(peer.program), "1");
        addProgram(peer.label, QFile::encodeName(peer.program), {});
    }
    if (options.withFind) {
        contenders.push_back({"find -printf", {"find", targetBytes, "-printf", FindFormat}, {},
                              QFile::encodeName(findOut), {}, {}, {}, {}, {}});
    }

    // Each program's footprint without a tree: its runs on an empty directory.
    for (int i = 0; i < 3; ++i) {
        for (Contender &c : contenders) {
            if (!c.isProgram())
                continue;
            Contender onEmpty = c;
            onEmpty.argv.back() = QFile::encodeName(emptyDir);
            Sample s;
            if (!runOnce(onEmpty, &s))
                return 1;
            c.empty.push_back(s);
        }
    }
    // One run reads the tree into the cache and leaves the list that the
    // measured runs replace.
    Sample warmUp;
    if (!runOnce(contenders.front(), &warmUp))
        return 1;

    const auto measure = [&listFile](Contender &c, std::vector<Sample> *into) {
        if (c.withoutList)
            QFile::remove(listFile);
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
    const Contender &one = contenders.front();
    const QByteArray tree = treeLabel(options, one.list.entries);
    std::printf("\n%s: %s, %.1f path bytes an entry; medians of %d rounds after a warm-up run;\n"
                "start-up peak RSS (on an empty directory) %.1f MiB; the program is vorn_listtree,\n"
                "the window's run without the window; TZ set\n\n",
                qPrintable(options.tree), tree.constData(),
                one.list.entries ? double(one.list.pathBytes) / double(one.list.entries) : 0.0,
                options.rounds, medianOf(one.empty, &Sample::peakKiB) / 1024);
    std::printf("| tree | run | wall ms | cpu ms | peak RSS MiB | bytes / entry over empty "
                "| wall / 1 thread | cpu / 1 thread | cpu / find |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
    printRows(tree, contenders, &Contender::warm, find);
    if (options.cold)
        printRows(tree + ", cold", contenders, &Contender::cold, find);
    else if (options.slowfsLatencyUs < 0)
        std::printf("\ncold runs skipped: %s\n", qPrintable(noCold));
    if (!options.peers.isEmpty() || options.withoutList) {
        std::printf("\n");
        printAgainst(contenders, &Contender::warm, "warm");
        if (options.cold)
            printAgainst(contenders, &Contender::cold, "cold");
    }

    // Every run of this build must list the same; a peer's list may differ
    // where a fix changed it, which is told, not failed.
    bool same = true;
    for (const Contender &c : contenders) {
        if (c.isProgram() && c.peer.isEmpty())
            same = same && c.list.hash == one.list.hash;
    }
    std::printf("\nlists of every run of this build: %s\n", same ? "identical" : "DIFFERENT");
    for (const Peer &peer : options.peers) {
        bool peerSame = true;
        for (const Contender &c : contenders)
            peerSame = peerSame && (c.peer != peer.label || c.list.hash == one.list.hash);
        std::printf("lists of %s: %s\n", peer.label.constData(),
                    peerSame ? "the same as this build's" : "DIFFERENT from this build's");
    }
    return same ? 0 : 1;
}
