// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listrun.h"
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
    void excludedNames();
};

void tst_SourceDirectory::source_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the program name
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("path"); // "\\" where the pieces are joined
    QTest::addColumn<bool>("configured");

    const QStringList both{"CC_SERVER_ROOT=/srv/root", "CC_SYSTEM=sys1"};
    QTest::newRow("environment") << QStringList{} << both << true << "/srv/root\\sys1" << true;
    QTest::newRow("one plain argument")
            << QStringList{"other"} << both << true << "/srv/root\\other" << true;
    QTest::newRow("one %NAME% argument") << QStringList{"%SYSNAME%"}
                                         << (both + QStringList{"SYSNAME=from env"}) << true
                                         << "/srv/root\\from env" << true;
    QTest::newRow("two plain arguments, environment unread")
            << QStringList{"/data", "share"} << both << true << "/data\\share" << true;
    QTest::newRow("two %NAME% arguments") << QStringList{"%A%", "%B%"}
                                          << QStringList{"A=/x", "B=y"} << true << "/x\\y" << true;
    QTest::newRow("unset variables give empty pieces")
            << QStringList{} << QStringList{} << true << "\\" << false;
    QTest::newRow("unset %NAME% leaves the separator at the end")
            << QStringList{"%NOPE%"} << QStringList{"CC_SERVER_ROOT=/srv"} << true << "/srv\\"
            << true;
    QTest::newRow("only the second piece") << QStringList{"", "rel"} << QStringList{} << true
                                           << "\\rel" << true;
    QTest::newRow("% alone is empty") << QStringList{"%", "b"} << QStringList{} << true << "\\b"
                                      << true;
    QTest::newRow("last character dropped whatever it is")
            << QStringList{"%AB", "c"} << QStringList{"A=val", "AB=wrong"} << true << "val\\c"
            << true;
    QTest::newRow("% inside an argument is kept") << QStringList{"a%B%", "100%"}
                                                  << QStringList{"B=no"} << true << "a%B%\\100%"
                                                  << true;
    QTest::newRow("value taken as it stands")
            << QStringList{"%V%", "x"} << QStringList{"V=%W%", "W=no"} << true << "%W%\\x" << true;
    QTest::newRow("UTF-8 value") << QStringList{"%V%", "ü"} << QStringList{"V=/ö"} << true
                                 << "/ö\\ü" << true;
    QTest::newRow("three arguments") << QStringList{"a", "b", "c"} << both << false << "" << false;
}

void tst_SourceDirectory::source()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(bool, valid);
    QFETCH(QString, path);
    QFETCH(bool, configured);

    for (const char *name : {"CC_SERVER_ROOT", "CC_SYSTEM", "SYSNAME", "A", "AB", "B", "V", "W", "NOPE"})
        qunsetenv(name);
    for (const QString &assignment : environment) {
        const qsizetype eq = assignment.indexOf(u'=');
        qputenv(assignment.left(eq).toLocal8Bit().constData(), assignment.mid(eq + 1).toLocal8Bit());
    }

    const std::optional<SourceDirectory> source =
            sourceDirectory(QStringList{QStringLiteral("vorn_filesync_list")} + arguments);
    QCOMPARE(source.has_value(), valid);
    if (source) {
        QCOMPARE(source->path(), nativeJoins(path));
        QCOMPARE(source->isConfigured(), configured);
    }
}

void tst_SourceDirectory::excludedNames()
{
    QCOMPARE(ListRun::excludedNames(), (QStringList{"source", "temp", "docs", "data", "install",
                                             "backup", "logs"}));
}

QTEST_APPLESS_MAIN(tst_SourceDirectory)
#include "tst_sourcedirectory.moc"
