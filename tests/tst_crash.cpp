// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "testtree.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Killing the program at any moment leaves the previous list or a complete
// new one, never a cut-off or missing list.
class tst_Crash : public QObject
{
    Q_OBJECT

private slots:
    void killedAtAnyMoment();
};

namespace {

constexpr int Directories = 8000;
constexpr int FilesPerDirectory = 24;

// Every line has the list's form and the file ends with a whole line.
bool parses(const QByteArray &list, QString *why)
{
    static const QRegularExpression line(
            QStringLiteral("^[^\\r\\n]+,(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)?,\\d+$"));
    if (!list.isEmpty() && !list.endsWith("\r\n")) {
        *why = QStringLiteral("cut-off last line");
        return false;
    }
    const QList<QByteArray> rows = list.split('\n');
    for (qsizetype i = 0; i + 1 < rows.size(); ++i) {
        const QByteArray &row = rows.at(i);
        if (!row.endsWith('\r') || !line.match(QString::fromUtf8(row.chopped(1))).hasMatch()) {
            *why = QStringLiteral("line %1 malformed: %2").arg(i).arg(QString::fromUtf8(row));
            return false;
        }
    }
    return true;
}

// The lines that do not depend on the run: the list file's own line changes
// size and time from run to run. A new list a killed run left is never listed.
QStringList stableLines(const QByteArray &list)
{
    QStringList result = lines(list);
    result.removeIf([](const QString &l) { return l.startsWith(QLatin1String("filelist.sync,")); });
    return result;
}

ino_t inodeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

void tst_Crash::killedAtAnyMoment()
{
    // Memory-backed where there is such a place: making and removing 200,000
    // files on a disk takes minutes, and a kill does not care where files live.
    const bool inMemory = QFileInfo(QStringLiteral("/dev/shm")).isWritable();
    QTemporaryDir dir(inMemory ? QStringLiteral("/dev/shm/tst_crash-XXXXXX") : QString());
    TestTree t(dir.path());
    for (int d = 0; d < Directories; ++d) {
        const QString sub = QStringLiteral("share/g%1/d%2").arg(d % 40).arg(d);
        t.dir(sub);
        const QByteArray prefix = QFile::encodeName(t.path(sub)) + "/File-";
        for (int f = 0; f < FilesPerDirectory; ++f) {
            const int fd = ::open((prefix + QByteArray::number(f)).constData(),
                                  O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
    }
    t.file(QStringLiteral("share/filelist.sync"), "previous\r\n");
    const QString listFile = t.path(QStringLiteral("share/filelist.sync"));
    const QStringList arguments{t.root(), QStringLiteral("share")};

    // One whole run gives the reference list and how long the work takes.
    QProcess process;
    process.setProcessEnvironment(cleanEnvironment());
    process.setProgram(programPath());
    process.setArguments(arguments);
    const ino_t before = inodeOf(listFile);
    QElapsedTimer clock;
    clock.start();
    process.start();
    while (inodeOf(listFile) == before && clock.elapsed() < 120000)
        QThread::msleep(2);
    const qint64 workMs = clock.elapsed();
    QVERIFY(process.waitForFinished(120000));
    QByteArray previous = t.read(QStringLiteral("share/filelist.sync"));
    const QStringList reference = stableLines(previous);
    QCOMPARE(reference.size(), Directories * (FilesPerDirectory + 1) + 40);

    int keptOld = 0;
    int tookNew = 0;
    for (int i = 0; i < 20; ++i) {
        const qint64 delay = workMs * 11 * i / (10 * 19);
        process.start();
        QVERIFY(process.waitForStarted());
        QThread::msleep(unsigned(delay));
        process.kill();
        QVERIFY(process.waitForFinished());

        const QByteArray now = t.read(QStringLiteral("share/filelist.sync"));
        QString why;
        QVERIFY2(parses(now, &why), qPrintable(QStringLiteral("killed after %1 ms: %2").arg(delay).arg(why)));
        if (now == previous) {
            ++keptOld;
        } else {
            QCOMPARE(stableLines(now), reference);
            ++tookNew;
        }
        previous = now;
    }
    qInfo("work took %lld ms; %d kills kept the previous list, %d found a new one", workMs,
          keptOld, tookNew);
}

QTEST_GUILESS_MAIN(tst_Crash)
#include "tst_crash.moc"
