// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "fileentry.h"
#include "listformat.h"
#include "listing.h"
#include "localclock.h"
#include "testtree.h"

#include <QTest>

#include <algorithm>
#include <ctime>
#include <limits>

// Names in a directory and the lines of the list file.
class tst_ListFormat : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();
    void order_data();
    void order();
    void line_data();
    void line();
    void localTimeMatchesCLibrary_data();
    void localTimeMatchesCLibrary();
};

namespace {

QByteArray lineOf(const FileEntry &entry)
{
    LocalClock clock;
    QByteArray out;
    appendListLine(out, entry, clock);
    return out;
}

} // namespace

// Where the zone cannot be set, tests that need none still run.
void tst_ListFormat::init()
{
    QString why;
    useTimeZone("Europe/Berlin", &why);
}

void tst_ListFormat::cleanupTestCase()
{
    qunsetenv("TZ");
    tzset();
}

void tst_ListFormat::order_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("sorted");

    QTest::newRow("case ignored, kinds interleaved")
            << QStringList{"d.txt", "C", "b.txt"} << QStringList{"b.txt", "C", "d.txt"};
    QTest::newRow("code value, not locale")
            << QStringList{"a", "_x", "[x", "B"} << QStringList{"[x", "_x", "a", "B"};
    QTest::newRow("prefix first") << QStringList{"abc", "ab.txt", "ab"}
                                  << QStringList{"ab", "ab.txt", "abc"};
    QTest::newRow("accented after ASCII letters")
            << QStringList{"é", "f", "E", "z"} << QStringList{"E", "f", "z", "é"};
    QTest::newRow("non-ASCII lowered too")
            << QStringList{"Éa", "éb", "ÉC"} << QStringList{"Éa", "éb", "ÉC"};
    QTest::newRow("lower case then code unit")
            << QStringList{"Zeta", "alpha", "ALPHA2", "Ω", "ω1"}
            << QStringList{"alpha", "ALPHA2", "Zeta", "Ω", "ω1"};
    // Whatever else a directory holds, and in whatever order it lists them.
    QTest::newRow("equal but for case: by their own code units")
            << QStringList{"zed", "t01.txt", "filelist.sync", "Zed", "T01.txt", "éa", "Éa"}
            << QStringList{"filelist.sync", "T01.txt", "t01.txt", "Zed", "zed", "Éa", "éa"};
    // Whole paths, as a previous list holds them: "-" and "." are smaller
    // bytes than "/".
    QTest::newRow("paths: a directory, then what is below it, then the next name")
            << QStringList{"a-b", "a/b/c", "a.txt", "a", "a/b", "A/z", "A"}
            << QStringList{"A", "A/z", "a", "a/b", "a/b/c", "a-b", "a.txt"};
    QTest::newRow("paths: each level by its names' order")
            << QStringList{"é/x", "z/é", "e/y", "Z/a/b", "e"}
            << QStringList{"e", "e/y", "Z/a/b", "z/é", "é/x"};
}

void tst_ListFormat::order()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, sorted);
    QList<QByteArray> paths;
    for (const QString &name : names)
        paths << name.toUtf8();
    std::sort(paths.begin(), paths.end(),
              [](const QByteArray &a, const QByteArray &b) { return comparePaths(a, b) < 0; });
    QStringList walked;
    for (const QByteArray &path : paths)
        walked << QString::fromUtf8(path);
    QCOMPARE(walked, sorted);
    // One directory holds names alone.
    if (names.join(QString()).contains(u'/'))
        return;
    Listing listing;
    for (const QString &name : names) {
        const QByteArray utf8 = name.toUtf8();
        QVERIFY(listing.add(utf8, utf8.size() == name.size() ? QStringView() : name, {}));
    }
    listing.sort();
    QStringList listed;
    for (const Listing::Entry &entry : listing.entries)
        listed << QString::fromUtf8(listing.name(entry));
    QCOMPARE(listed, sorted);
}

void tst_ListFormat::line_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<qint64>("mtime");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QByteArray>("expected");

    // 2013-07-29T12:02:11Z
    const qint64 july = 1375099331;
    QTest::newRow("file in summer time")
            << "Europe/Berlin" << "bin/tool.exe" << false << july << qint64(53248)
            << QByteArray("bin/tool.exe,2013-07-29T14:02:11,53248\r\n");
    QTest::newRow("same moment elsewhere")
            << "America/New_York" << "bin/tool.exe" << false << july << qint64(53248)
            << QByteArray("bin/tool.exe,2013-07-29T08:02:11,53248\r\n");
    QTest::newRow("half-hour zone") << "Asia/Kolkata" << "a" << false << july << qint64(0)
                                    << QByteArray("a,2013-07-29T17:32:11,0\r\n");
    QTest::newRow("directory") << "Europe/Berlin" << "bin/tools" << true << qint64(0)
                               << qint64(0) << QByteArray("bin/tools,,0\r\n");
    QTest::newRow("comma kept") << "UTC" << "a,b" << false << qint64(0) << qint64(7)
                                << QByteArray("a,b,1970-01-01T00:00:00,7\r\n");
    QTest::newRow("UTF-8 name") << "UTC" << "d/é€" << false << qint64(86399) << qint64(1)
                                << listBytes(QStringLiteral("d/é€,1970-01-01T23:59:59,1\r\n"));
    QTest::newRow("4 GiB and more") << "UTC" << "big" << false << qint64(0)
                                    << qint64(5000000000) << QByteArray("big,1970-01-01T00:00:00,5000000000\r\n");
    QTest::newRow("before 1970") << "UTC" << "old" << false << qint64(-1) << qint64(1)
                                 << QByteArray("old,1969-12-31T23:59:59,1\r\n");
    QTest::newRow("year 9999") << "UTC" << "far" << false << qint64(253402300799) << qint64(1)
                               << QByteArray("far,9999-12-31T23:59:59,1\r\n");
    QTest::newRow("year 10000 clamped")
            << "UTC" << "farther" << false << qint64(253402300800) << qint64(0)
            << QByteArray("farther,9999-12-31T23:59:59,0\r\n");
    QTest::newRow("clamped by the local year")
            << "Europe/Berlin" << "far" << false << qint64(253402297200) << qint64(1)
            << QByteArray("far,9999-12-31T23:59:59,1\r\n");
    QTest::newRow("year 1") << "UTC" << "old" << false << qint64(-62135596800) << qint64(1)
                            << QByteArray("old,0001-01-01T00:00:00,1\r\n");
    QTest::newRow("before year 1 clamped")
            << "UTC" << "older" << false << qint64(-62135596801) << qint64(0)
            << QByteArray("older,0001-01-01T00:00:00,0\r\n");
    QTest::newRow("beyond the C library's range")
            << "UTC" << "end" << false << std::numeric_limits<qint64>::max() << qint64(1)
            << QByteArray("end,9999-12-31T23:59:59,1\r\n");
    QTest::newRow("before the C library's range")
            << "UTC" << "start" << false << std::numeric_limits<qint64>::min() + 1 << qint64(1)
            << QByteArray("start,0001-01-01T00:00:00,1\r\n");
    // What `touch -d @-9223372036854775808` leaves on btrfs or tmpfs: still a file.
    QTest::newRow("the smallest time, an empty file")
            << "UTC" << "empty" << false << std::numeric_limits<qint64>::min() << qint64(0)
            << QByteArray("empty,0001-01-01T00:00:00,0\r\n");
}

void tst_ListFormat::line()
{
    QFETCH(QString, zone);
    QFETCH(QString, name);
    QFETCH(bool, directory);
    QFETCH(qint64, mtime);
    QFETCH(qint64, size);
    QFETCH(QByteArray, expected);

    QString why;
    if (!useTimeZone(zone.toLatin1().constData(), &why))
        QSKIP(qPrintable(why));
    const QByteArray utf8 = name.toUtf8();
    const FileEntry entry = directory ? FileEntry(utf8) : FileEntry(utf8, mtime, size);
    QCOMPARE(lineOf(entry), expected);
}

void tst_ListFormat::localTimeMatchesCLibrary_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
    QTest::newRow("Lord Howe, half-hour summer time") << QByteArray("Australia/Lord_Howe");
    QTest::newRow("St Johns") << QByteArray("America/St_Johns");
    QTest::newRow("Kathmandu") << QByteArray("Asia/Kathmandu");
    QTest::newRow("POSIX rule") << QByteArray("EST5EDT,M3.2.0,M11.1.0");
    QTest::newRow("Monrovia, change off the quarter hour") << QByteArray("Africa/Monrovia");
    QTest::newRow("two changes five minutes apart")
            << QByteArray("AAA0BBB,M3.2.0/0:03,M3.2.0/1:08");
    QTest::newRow("leap seconds counted") << QByteArray("right/UTC");
}

// Every quarter hour around the clock changes of two years, a spread of times
// from 1901 to 2100, and every few seconds around changes at odd moments come
// out as the C library's localtime_r gives them.
void tst_ListFormat::localTimeMatchesCLibrary()
{
    QFETCH(QByteArray, zone);
#ifdef Q_OS_WIN
    QSKIP("the list's times come from Windows' own conversion, not the C library's");
#else
    QString why;
    QVERIFY(useTimeZone(zone.constData(), &why));

    QList<qint64> times;
    for (qint64 t = 1616000000; t < 1680000000; t += 897)
        times << t;
    for (qint64 t = -2145916800; t < 4102444800; t += 7777777)
        times << t;
    for (qint64 t = 63592000; t < 63594000; t += 7) // Monrovia's 1972 change
        times << t;
    for (qint64 t = 1615679900; t < 1615681000; t += 3) // 2021-03-14, 00:03 and 00:08 UTC
        times << t;
    for (qint64 t = 1483228700; t < 1483229000; ++t) // the leap second ending 2016
        times << t;

    LocalClock clock;
    for (qint64 t : times) {
        const time_t secs = time_t(t);
        struct tm local;
        QVERIFY(localtime_r(&secs, &local));
        const QByteArray expected = QByteArray("f,")
                + QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900,
                                    local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                    local.tm_sec)
                          .toLatin1()
                + ",1\r\n";
        QByteArray out;
        appendListLine(out, FileEntry("f", t, 1), clock);
        if (out != expected)
            QFAIL(qPrintable(QStringLiteral("at %1: %2 instead of %3")
                                     .arg(t)
                                     .arg(QString::fromLatin1(out), QString::fromLatin1(expected))));
    }
#endif
}

QTEST_APPLESS_MAIN(tst_ListFormat)
#include "tst_listformat.moc"
