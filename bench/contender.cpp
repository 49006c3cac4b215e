// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "contender.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <unistd.h>

namespace {

const char ThreadsVariable[] = "VORN_FILESYNC_LIST_THREADS";

} // namespace

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
        // The path is all before the time and the size, which hold no comma.
        digest.pathBytes += qMax<qsizetype>(0, line.lastIndexOf(',', line.lastIndexOf(',') - 1));
    }
    digest.hash = hash.result();
    return digest;
}

