// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "programrules.h"
#include "sourcedirectory.h"
#include "testtree.h"

#include <QTest>

// Where the source directory comes from: environment, arguments, %NAME%; and
// what else main decides: the platforms to try, the exit status.
class tst_SourceDirectory : public QObject
{
    Q_OBJECT

private slots:
    void source_data();
    void source();
    void walkThreads_data();
    void walkThreads();
    void platforms_data();
    void platforms();
    void settings_data();
    void settings();
    void exitStatus_data();
    void exitStatus();
};

void tst_SourceDirectory::source_data()
{
    QTest::addColumn<QByteArrayList>("arguments"); // after the program name
    QTest::addColumn<QByteArrayList>("environment");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("path"); // "\\" where the pieces are joined
    QTest::addColumn<bool>("configured");
    QTest::addColumn<bool>("text"); // all pieces valid UTF-8
    QTest::addColumn<QString>("emptyPiece"); // the line naming it, after "filelist: the "

    const QByteArrayList both{"CC_SERVER_ROOT=/srv/root", "CC_SYSTEM=sys1"};
    QTest::newRow("environment")
            << QByteArrayList{} << both << true << "/srv/root\\sys1" << true << true << QString();
    QTest::newRow("one plain argument")
            << QByteArrayList{"other"} << both << true << "/srv/root\\other" << true << true
            << QString();
    QTest::newRow("one %NAME% argument") << QByteArrayList{"%SYSNAME%"}
                                         << (both + QByteArrayList{"SYSNAME=from env"}) << true
                                         << "/srv/root\\from env" << true << true << QString();
    QTest::newRow("two plain arguments, environment unread")
            << QByteArrayList{"/data", "share"} << both << true << "/data\\share" << true << true
            << QString();
    QTest::newRow("two %NAME% arguments")
            << QByteArrayList{"%A%", "%B%"} << QByteArrayList{"A=/x", "B=y"} << true << "/x\\y"
            << true << true << QString();
    QTest::newRow("unset variables give empty pieces")
            << QByteArrayList{} << QByteArrayList{} << true << "\\" << false << true << QString();
    QTest::newRow("unset %NAME% leaves the separator at the end")
            << QByteArrayList{"%NOPE%"} << QByteArrayList{"CC_SERVER_ROOT=/srv"} << true << "/srv\\"
            << true << true << "second part of the source is empty (NOPE is not set): listing /srv\\";
    QTest::newRow("only the second piece")
            << QByteArrayList{"", "rel"} << QByteArrayList{} << true << "\\rel" << true << true
            << "first part of the source is empty (the first argument is empty): listing \\rel";
    QTest::newRow("% alone is empty")
            << QByteArrayList{"%", "b"} << QByteArrayList{} << true << "\\b" << true << true
            << "first part of the source is empty (% names no variable): listing \\b";
    QTest::newRow("last character dropped whatever it is")
            << QByteArrayList{"%AB", "c"} << QByteArrayList{"A=val", "AB=wrong"} << true << "val\\c"
            << true << true << QString();
    QTest::newRow("% inside an argument is kept") << QByteArrayList{"a%B%", "100%"}
                                                  << QByteArrayList{"B=no"} << true << "a%B%\\100%"
                                                  << true << true << QString();
    QTest::newRow("value taken as it stands")
            << QByteArrayList{"%V%", "x"} << QByteArrayList{"V=%W%", "W=no"} << true << "%W%\\x"
            << true << true << QString();
    QTest::newRow("UTF-8 value") << QByteArrayList{"%V%", "ü"} << QByteArrayList{"V=/ö"} << true
                                 << "/ö\\ü" << true << true << QString();
    QTest::newRow("argument not UTF-8")
            << QByteArrayList{"/srv", "caf\xe9"} << QByteArrayList{} << true << "/srv\\caf\uFFFD"
            << true << false << QString();
    QTest::newRow("variable not UTF-8")
            << QByteArrayList{"sys"} << QByteArrayList{"CC_SERVER_ROOT=/caf\xe9"} << true
            << "/caf\uFFFD\\sys" << true << false << QString();
    QTest::newRow("variable name looked up as its bytes")
            << QByteArrayList{"%caf\xe9%", "x"}
            << QByteArrayList{"caf\xe9=/v", "caf\xef\xbf\xbd=/no"} << true << "/v\\x" << true
            << true << QString();
    QTest::newRow("variable name not ASCII")
            << QByteArrayList{"%n\xc3\xa4me%", "x"} << QByteArrayList{"n\xc3\xa4me=/v"} << true
            << "/v\\x" << true << true << QString();
    QTest::newRow("replacement character given as UTF-8")
            << QByteArrayList{"/srv", "caf\xef\xbf\xbd"} << QByteArrayList{} << true
            << "/srv\\caf\uFFFD" << true << true << QString();
    QTest::newRow("an unset CC_SYSTEM")
            << QByteArrayList{} << QByteArrayList{"CC_SERVER_ROOT=/srv/root"} << true << "/srv/root\\"
            << true << true
            << "second part of the source is empty (CC_SYSTEM is not set): listing /srv/root\\";
    QTest::newRow("CC_SERVER_ROOT set but empty")
            << QByteArrayList{"sys1"} << QByteArrayList{"CC_SERVER_ROOT="} << true << "\\sys1"
            << true << true
#ifdef Q_OS_WIN
            // Windows cannot keep a variable whose value is empty.
            << "first part of the source is empty (CC_SERVER_ROOT is not set): listing \\sys1";
#else
            << "first part of the source is empty (CC_SERVER_ROOT is empty): listing \\sys1";
#endif
    QTest::newRow("three arguments")
            << QByteArrayList{"a", "b", "c"} << both << false << "" << false << true << QString();
}

void tst_SourceDirectory::source()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(QByteArrayList, environment);
    QFETCH(bool, valid);
    QFETCH(QString, path);
    QFETCH(bool, configured);
    QFETCH(bool, text);
    QFETCH(QString, emptyPiece);

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
        QCOMPARE(source->emptyPieceLine(),
                 emptyPiece.isEmpty() ? QString() : "filelist: the " + nativeJoins(emptyPiece));
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

void tst_SourceDirectory::platforms_data()
{
    QTest::addColumn<bool>("askedFor");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("waylandDisplay");
    QTest::addColumn<QByteArray>("sessionType");
    QTest::addColumn<QByteArray>("platforms");
    QTest::newRow("the caller's choice stands") << true << QByteArray(":0") << QByteArray() << QByteArray()
                                                << QByteArray();
    QTest::newRow("no display") << false << QByteArray() << QByteArray() << QByteArray()
                                << QByteArray("offscreen");
    QTest::newRow("no display in a Wayland session") << false << QByteArray() << QByteArray()
                                                     << QByteArray("wayland") << QByteArray("offscreen");
    QTest::newRow("X") << false << QByteArray(":87") << QByteArray() << QByteArray("x11")
                       << QByteArray("xcb;offscreen");
    QTest::newRow("Wayland") << false << QByteArray() << QByteArray("wayland-0") << QByteArray()
                             << QByteArray("wayland;offscreen");
    QTest::newRow("both: Wayland first") << false << QByteArray(":0") << QByteArray("wayland-0")
                                         << QByteArray() << QByteArray("wayland;xcb;offscreen");
    QTest::newRow("X in a Wayland session") << false << QByteArray(":0") << QByteArray()
                                            << QByteArray("wayland")
                                            << QByteArray("wayland;xcb;offscreen");
}

void tst_SourceDirectory::platforms()
{
    QFETCH(bool, askedFor);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, waylandDisplay);
    QFETCH(QByteArray, sessionType);
    QFETCH(QByteArray, platforms);
    QCOMPARE(platformsToTry(askedFor, display, waylandDisplay, sessionType), platforms);
}

void tst_SourceDirectory::settings_data()
{
    // ALLOW_EMPTY, MAX_DELETE, MARKER, CHANGES; null: unset
    QTest::addColumn<QByteArrayList>("values");
    // allowEmpty, maxDelete, maxDeletePercent, marker, changesFile; or the line
    QTest::addColumn<QString>("settings");
    const auto row = [](const char *name, const QByteArrayList &values, const char *settings) {
        QTest::newRow(name) << values << QString::fromUtf8(settings);
    };
    row("none set", {{}, {}, {}, {}}, "0 -1 0  ");
    row("all set", {"1", "100", ".published", "/var/log/changes"}, "1 100 0 .published /var/log/changes");
    row("empty values", {"", "", "", ""}, "0 -1 0  ");
    row("allow empty: only 1", {"yes", {}, {}, {}}, "0 -1 0  ");
    row("a percentage", {{}, "10%", {}, {}}, "0 10 1  ");
    row("no deletions at all", {{}, "0", {}, {}}, "0 0 0  ");
    row("all of the list", {{}, "100%", {}, {}}, "0 100 1  ");
    row("a relative changes file", {{}, {}, {}, "changes.txt"}, "0 -1 0  changes.txt");
    const char *const deleteLimit = "filelist: VORN_FILESYNC_LIST_MAX_DELETE=%1 is neither a number "
                                    "of entries (100) nor a percentage (10%): nothing is listed";
    for (const char *value : {"-1", "+5", "1e3", " 5", "10 %", "%", "101%", "5.5%", "abc",
                              "1234567890123456789"}) {
        QTest::addRow("deletion limit %s", value)
                << QByteArrayList{{}, value, {}, {}} << QString::fromUtf8(deleteLimit).arg(value);
    }
#ifdef Q_OS_WIN
    const char *const separators = "a\\b";
#else
    const char *const separators = "/b";
#endif
    for (const char *value : {".", "..", "a/b", "a/", separators}) {
        QTest::addRow("marker %s", value)
                << QByteArrayList{{}, {}, value, {}}
                << QStringLiteral("filelist: VORN_FILESYNC_LIST_MARKER=%1 is not a name in the "
                                  "source's top level: nothing is listed")
                           .arg(value);
    }
    for (const char *value : {"/var/log/", "logs/.", ".."}) {
        QTest::addRow("changes file %s", value)
                << QByteArrayList{{}, {}, {}, value}
                << QStringLiteral("filelist: VORN_FILESYNC_LIST_CHANGES=%1 does not name a file: "
                                  "nothing is listed")
                           .arg(value);
    }
}

void tst_SourceDirectory::settings()
{
    QFETCH(QByteArrayList, values);
    QFETCH(QString, settings);
    const char *const names[] = {"VORN_FILESYNC_LIST_ALLOW_EMPTY", "VORN_FILESYNC_LIST_MAX_DELETE",
                                 "VORN_FILESYNC_LIST_MARKER", "VORN_FILESYNC_LIST_CHANGES"};
    for (int i = 0; i < 4; ++i) {
        if (values.at(i).isNull())
            qunsetenv(names[i]);
        else
            qputenv(names[i], values.at(i));
    }
    QString problem;
    const std::optional<RunSettings> given = runSettings(&problem);
    for (const char *name : names)
        qunsetenv(name);
    if (!given) {
        QCOMPARE(problem, settings);
        return;
    }
    QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(int(given->allowEmpty))
                     .arg(given->maxDelete)
                     .arg(int(given->maxDeletePercent))
                     .arg(QString::fromUtf8(given->marker), QString::fromUtf8(given->changesFile)),
             settings);
}

void tst_SourceDirectory::exitStatus_data()
{
    using Outcome = ListRun::Outcome;
    QTest::addColumn<QByteArray>("optIn"); // null: unset
    QTest::addColumn<int>("outcome"); // -1: a wrong argument count
    QTest::addColumn<int>("status");
    QTest::newRow("saved") << QByteArray("1") << int(Outcome::Saved) << 0;
    QTest::newRow("failed") << QByteArray("1") << int(Outcome::Failed) << 1;
    QTest::newRow("not written") << QByteArray("1") << int(Outcome::SaveFailed) << 2;
    QTest::newRow("cancelled") << QByteArray("1") << int(Outcome::Cancelled) << 3;
    QTest::newRow("held back") << QByteArray("1") << int(Outcome::HeldBack) << 5;
    QTest::newRow("held back, no opt-in") << QByteArray() << int(Outcome::HeldBack) << 0;
    QTest::newRow("wrong argument count") << QByteArray("1") << -1 << 4;
    QTest::newRow("unset") << QByteArray() << int(Outcome::Failed) << 0;
    QTest::newRow("unset, wrong argument count") << QByteArray() << -1 << 0;
    QTest::newRow("empty") << QByteArray("") << int(Outcome::Cancelled) << 0;
    QTest::newRow("yes") << QByteArray("yes") << int(Outcome::Failed) << 0;
    QTest::newRow("1 with a space") << QByteArray("1 ") << int(Outcome::SaveFailed) << 0;
    QTest::newRow("01") << QByteArray("01") << int(Outcome::Failed) << 0;
}

void tst_SourceDirectory::exitStatus()
{
    QFETCH(QByteArray, optIn);
    QFETCH(int, outcome);
    QFETCH(int, status);
    const std::optional<ListRun::Outcome> given =
            outcome < 0 ? std::nullopt : std::optional<ListRun::Outcome>(ListRun::Outcome(outcome));
    QCOMPARE(::exitStatus(given, optIn), status);
}

QTEST_APPLESS_MAIN(tst_SourceDirectory)
#include "tst_sourcedirectory.moc"
