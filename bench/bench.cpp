// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later

// Measures the list's cost against find(1) writing the same fields, on one
// tree, alternating the runs so that both see the same machine.
#include "treegen.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char FindFormat[] = "%P,%TY-%Tm-%TdT%TH:%TM:%.2TS,%s\\n";

struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
    double peakKiB = 0;
};

struct Contender {
    const char *label;
    std::vector<QByteArray> argv;
    bool setTz = false;
    QByteArray outputFile; // empty: stdout as it is
    std::vector<Sample> samples;
};

// Runs one command to its end through the launcher.
bool runOnce(const Contender &c, Sample *sample)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("TZ"));
    if (c.setTz)
        env.insert(QStringLiteral("TZ"), QStringLiteral(":/etc/localtime"));
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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double medianOf(const Contender &c, double Sample::*field)
{
    std::vector<double> values;
    for (const Sample &s : c.samples)
        values.push_back(s.*field);
    return median(values);
}

// The list without its own line, which changes with every run.
QByteArray listWithoutItself(const QString &listFile)
{
    QFile f(listFile);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (!line.startsWith("filelist.sync,") && !line.startsWith("filelist.sync.new,"))
            out += line + '\n';
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int rounds = 5;
    quint32 seed = 1;
    while (args.size() > 2) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--rounds"))
            rounds = qMax(1, args.takeFirst().toInt());
        else if (option == QLatin1String("--seed"))
            seed = args.takeFirst().toUInt();
        else
            break;
    }
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: vorn_bench [--rounds N] [--seed S] TREE ENTRIES\n"
                             "  makes TREE with about ENTRIES entries unless it exists,\n"
                             "  then times the list against find -printf on it\n");
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
    QTemporaryDir scratch;
    const QByteArray findOut = QFile::encodeName(scratch.path() + QStringLiteral("/find.out"));
    const QByteArray empty = QFile::encodeName(scratch.path() + QStringLiteral("/empty"));
    QDir().mkpath(scratch.path() + QStringLiteral("/empty"));

    std::vector<Contender> contenders = {
        {"program, TZ unset", {listTree, treeBytes}, false, {}, {}},
        {"program, TZ set", {listTree, treeBytes}, true, {}, {}},
        {"find -printf, TZ unset", {"find", treeBytes, "-printf", FindFormat}, false, findOut, {}},
        {"find -printf, TZ set", {"find", treeBytes, "-printf", FindFormat}, true, findOut, {}},
    };

    // Start-up footprint: the program on an empty directory.
    Contender startup{"program, empty directory", {listTree, empty}, false, {}, {}};
    Sample base;
    for (int i = 0; i < 3; ++i) {
        if (!runOnce(startup, &base))
            return 1;
        startup.samples.push_back(base);
    }

    QByteArray unsetList;
    QByteArray setList;
    for (int round = 0; round <= rounds; ++round) { // round 0 warms the cache
        for (Contender &c : contenders) {
            Sample s;
            if (!runOnce(c, &s)) {
                std::fprintf(stderr, "%s failed\n", c.label);
                return 1;
            }
            if (round > 0)
                c.samples.push_back(s);
            if (&c == &contenders[0])
                unsetList = listWithoutItself(tree + QStringLiteral("/filelist.sync"));
            else if (&c == &contenders[1])
                setList = listWithoutItself(tree + QStringLiteral("/filelist.sync"));
        }
    }

    const qint64 entries = unsetList.count('\n');
    const double basePeak = medianOf(startup, &Sample::peakKiB);
    std::printf("\ntree %s: %lld listed entries; %d rounds after a warm-up, medians\n",
                qPrintable(tree), entries, rounds);
    std::printf("program = vorn_listtree, the app's walk and save without the window;\n"
                "wall = spawn to exit; cpu = user + sys; start-up peak RSS %.1f MiB\n\n",
                basePeak / 1024);
    std::printf("| run | wall ms | cpu ms | peak RSS MiB | cpu µs/entry | RSS bytes/entry above start-up |\n");
    std::printf("|---|---:|---:|---:|---:|---:|\n");
    for (const Contender &c : contenders) {
        const double peak = medianOf(c, &Sample::peakKiB);
        std::printf("| %s | %.0f | %.0f | %.1f | %.2f | %s |\n", c.label,
                    medianOf(c, &Sample::wallMs), medianOf(c, &Sample::cpuMs), peak / 1024,
                    medianOf(c, &Sample::cpuMs) * 1e3 / double(qMax<qint64>(entries, 1)),
                    c.outputFile.isEmpty()
                            ? qPrintable(QString::number((peak - basePeak) * 1024
                                                                 / double(qMax<qint64>(entries, 1)),
                                                         'f', 0))
                            : "-");
    }
    // Each program run against find in the same time zone setting.
    for (size_t i = 0; i < 2; ++i) {
        const Contender &program = contenders[i];
        const Contender &find = contenders[i + 2];
        std::printf("\nratio %s / %s: wall %.2f, cpu %.2f", program.label, find.label,
                    medianOf(program, &Sample::wallMs) / medianOf(find, &Sample::wallMs),
                    medianOf(program, &Sample::cpuMs) / medianOf(find, &Sample::cpuMs));
    }
    std::printf("\nlists with TZ set and unset: %s\n",
                unsetList == setList ? "identical" : "DIFFERENT");
    return unsetList == setList ? 0 : 1;
}
