// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "sourcedirectory.h"
#include "testtree.h"

#include <QTest>

// Where the source directory comes from: environment, arguments, %NAME%.
class tst_SourceDirectory : public QObject
{
    Q_OBJECT

private slots:
    void source_data();
    void source();
    void walkThreads_data();
    void walkThreads();
};

void tst_SourceDirectory::source_data()
{
    QTest::addColumn<QByteArrayList>("arguments"); // after the program name
    QTest::addColumn<QByteArrayList>("environment");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("path"); // "\\" where the pieces are joined
    QTest::addColumn<bool>("configured");
    QTest::addColumn<bool>("text"); // all pieces valid UTF-8

    const QByteArrayList both{"CC_SERVER_ROOT=/srv/root", "CC_SYSTEM=sys1"};
    QTest::newRow("environment")
            << QByteArrayList{} << both << true << "/srv/root\\sys1" << true << true;
    QTest::newRow("one plain argument")
            << QByteArrayList{"other"} << both << true << "/srv/root\\other" << true << true;
    QTest::newRow("one %NAME% argument") << QByteArrayList{"%SYSNAME%"}
                                         << (both + QByteArrayList{"SYSNAME=from env"}) << true
                                         << "/srv/root\\from env" << true << true;
    QTest::newRow("two plain arguments, environment unread")
            << QByteArrayList{"/data", "share"} << both << true << "/data\\share" << true << true;
    QTest::newRow("two %NAME% arguments")
            << QByteArrayList{"%A%", "%B%"} << QByteArrayList{"A=/x", "B=y"} << true << "/x\\y"
            << true << true;
    QTest::newRow("unset variables give empty pieces")
            << QByteArrayList{} << QByteArrayList{} << true << "\\" << false << true;
    QTest::newRow("unset %NAME% leaves the separator at the end")
            << QByteArrayList{"%NOPE%"} << QByteArrayList{"CC_SERVER_ROOT=/srv"} << true << "/srv\\"
            << true << true;
    QTest::newRow("only the second piece") << QByteArrayList{"", "rel"} << QByteArrayList{} << true
                                           << "\\rel" << true << true;
    QTest::newRow("% alone is empty")
            << QByteArrayList{"%", "b"} << QByteArrayList{} << true << "\\b" << true << true;
    QTest::newRow("last character dropped whatever it is")
            << QByteArrayList{"%AB", "c"} << QByteArrayList{"A=val", "AB=wrong"} << true << "val\\c"
            << true << true;
    QTest::newRow("% inside an argument is kept") << QByteArrayList{"a%B%", "100%"}
                                                  << QByteArrayList{"B=no"} << true << "a%B%\\100%"
                                                  << true << true;
    QTest::newRow("value taken as it stands")
            << QByteArrayList{"%V%", "x"} << QByteArrayList{"V=%W%", "W=no"} << true << "%W%\\x"
            << true << true;
    QTest::newRow("UTF-8 value") << QByteArrayList{"%V%", "ü"} << QByteArrayList{"V=/ö"} << true
                                 << "/ö\\ü" << true << true;
    QTest::newRow("argument not UTF-8")
            << QByteArrayList{"/srv", "caf\xe9"} << QByteArrayList{} << true << "/srv\\caf\uFFFD"
            << true << false;
    QTest::newRow("variable not UTF-8")
            << QByteArrayList{"sys"} << QByteArrayList{"CC_SERVER_ROOT=/caf\xe9"} << true
            << "/caf\uFFFD\\sys" << true << false;
    QTest::newRow("variable name looked up as its bytes")
            << QByteArrayList{"%caf\xe9%", "x"}
            << QByteArrayList{"caf\xe9=/v", "caf\xef\xbf\xbd=/no"} << true << "/v\\x" << true
            << true;
    QTest::newRow("variable name not ASCII")
            << QByteArrayList{"%n\xc3\xa4me%", "x"} << QByteArrayList{"n\xc3\xa4me=/v"} << true
            << "/v\\x" << true << true;
    QTest::newRow("replacement character given as UTF-8")
            << QByteArrayList{"/srv", "caf\xef\xbf\xbd"} << QByteArrayList{} << true
            << "/srv\\caf\uFFFD" << true << true;
    QTest::newRow("three arguments")
            << QByteArrayList{"a", "b", "c"} << both << false << "" << false << true;
}

void tst_SourceDirectory::source()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(QByteArrayList, environment);
    QFETCH(bool, valid);
    QFETCH(QString, path);
    QFETCH(bool, configured);
    QFETCH(bool, text);

    for (const char *name : {"CC_SERVER_ROOT", "CC_SYSTEM", "SYSNAME", "A", "AB", "B", "V", "W",
                             "NOPE", "caf\xe9", "caf\xef\xbf\xbd", "n\xc3\xa4me"})
        qunsetenv(name);
    for (const QByteArray &assignment : environment) {
        const qsizetype eq = assignment.indexOf('=');
#ifdef Q_OS_WIN
        // The environment is UTF-16 text there; qputenv takes the ANSI code page.
        if (QString::fromUtf8(assignment).toUtf8() != assignment)
            QSKIP("Windows keeps its environment as text: bytes that are not UTF-8 cannot be set");
        qputenv(QString::fromUtf8(assignment.left(eq)).toLocal8Bit().constData(),
                QString::fromUtf8(assignment.mid(eq + 1)).toLocal8Bit());
#else
        qputenv(assignment.left(eq).constData(), assignment.mid(eq + 1));
#endif
    }

    const std::optional<SourceDirectory> source =
            sourceDirectory(QByteArrayList{"vorn_filesync_list"} + arguments);
    QCOMPARE(source.has_value(), valid);
    if (source) {
        QCOMPARE(source->path(), nativeJoins(path));
        QCOMPARE(source->isConfigured(), configured);
        QCOMPARE(source->isText(), text);
    }
}

void tst_SourceDirectory::walkThreads_data()
{
    QTest::addColumn<QByteArray>("value"); // null: unset
    QTest::addColumn<int>("threads");
    QTest::newRow("unset: the walk chooses") << QByteArray() << 0;
    QTest::newRow("one") << QByteArray("1") << 1;
    QTest::newRow("sixteen") << QByteArray("16") << 16;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 0;
    QTest::newRow("beyond the bound") << QByteArray("1000") << 64;
    QTest::newRow("beyond int") << QByteArray("99999999999") << 64;
}

void tst_SourceDirectory::walkThreads()
{
    QFETCH(QByteArray, value);
    QFETCH(int, threads);
    if (value.isNull())
        qunsetenv("VORN_FILESYNC_LIST_THREADS");
    else
        qputenv("VORN_FILESYNC_LIST_THREADS", value);
    QCOMPARE(::walkThreads(), threads);
}

QTEST_APPLESS_MAIN(tst_SourceDirectory)
#include "tst_sourcedirectory.moc"
