// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "testtree.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// The built program, run headless on real trees as a script would run it.
class tst_Program : public QObject
{
    Q_OBJECT

private slots:
    void sources_data();
    void sources();
    void unprivileged_data();
    void unprivileged();
    void diskFullKeepsOldList();
    void deepTreeWithFewDescriptors();
};

namespace {

const QStringList ShareTree = {"share/f", "share/sub/g", "share/temp/x", "share/filelist.sync"};
// ShareTree's list, the old list file included as the walk met it.
const QStringList ShareList = {"f,2013-07-29T14:02:11,1", "filelist.sync,2013-07-29T14:02:11,1",
                               "sub,,0", "sub/g,2013-07-29T14:02:11,1"};

} // namespace

void tst_Program::sources_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QString>("listAt"); // empty: no list file written anywhere

    QTest::newRow("CC_SERVER_ROOT and CC_SYSTEM")
            << QStringList{} << QStringList{"CC_SERVER_ROOT=<root>", "CC_SYSTEM=share"}
            << QStringList{"source is <root>\\share", "temp excluded"} << "share";
    QTest::newRow("CC_SERVER_ROOT and a %NAME% argument")
            << QStringList{"%SHARE_NAME%"} << QStringList{"CC_SERVER_ROOT=<root>", "SHARE_NAME=share"}
            << QStringList{"source is <root>\\share", "temp excluded"} << "share";
    QTest::newRow("two arguments, Qt's own options taken out")
            << QStringList{"-platform", "offscreen", "<root>", "share"}
            << QStringList{"CC_SERVER_ROOT=/nonexistent"}
            << QStringList{"source is <root>\\share", "temp excluded"} << "share";
    QTest::newRow("no display and no platform asked for")
            << QStringList{"<root>", "share"} << QStringList{"QT_QPA_PLATFORM="}
            << QStringList{"source is <root>\\share", "temp excluded"} << "share";
    QTest::newRow("percent signs and quotes printed as they are")
            << QStringList{"<root>/50% \"off\" %s", "x%d"} << QStringList{}
            << QStringList{"source is <root>/50% \"off\" %s\\x%d",
                           "filelist: this path is not valid/available: <root>/50% \"off\" %s\\x%d"}
            << "";
    QTest::newRow("missing source")
            << QStringList{"<root>", "missing"} << QStringList{}
            << QStringList{"source is <root>\\missing",
                           "filelist: this path is not valid/available: <root>\\missing"}
            << "";
    QTest::newRow("three arguments") << QStringList{"<root>", "share", "x"} << QStringList{}
                                     << QStringList{} << "";
    QTest::newRow("nothing configured")
            << QStringList{} << QStringList{}
            << QStringList{"source is \\",
                           "no source directory configured: both parts of the source are empty"}
            << "";
}

void tst_Program::sources()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QStringList, said);
    QFETCH(QString, listAt);

    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add(ShareTree);
    const QByteArray old = t.read(QStringLiteral("share/filelist.sync"));

    QProcessEnvironment env = cleanEnvironment();
    for (const QString &assignment : withRoot(environment, t.root())) {
        const qsizetype eq = assignment.indexOf(u'=');
        if (eq == assignment.size() - 1)
            env.remove(assignment.left(eq));
        else
            env.insert(assignment.left(eq), assignment.mid(eq + 1));
    }
    const RunResult run = runProgram(withRoot(arguments, t.root()), env);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.messages, withRoot(said, t.root()));
    if (listAt.isEmpty()) {
        QCOMPARE(t.read(QStringLiteral("share/filelist.sync")), old);
    } else {
        QCOMPARE(lines(t.read(listAt + QStringLiteral("/filelist.sync"))), ShareList);
    }
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("share/filelist.sync.new"))));
}

void tst_Program::unprivileged_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("modes"); // "path=octal", applied in order
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QStringList>("list"); // empty: the old list stays as it was

    QTest::newRow("unreadable subdirectory in the middle")
            << QStringList{"share/a/1", "share/b/hidden-from-us", "share/c/2", "share/filelist.sync"}
            << QStringList{"share=777", "share/b=0"}
            << QStringList{"source is <root>\\share",
                           "filelist: cannot read directory <root>\\share/b: Permission denied"}
            << QStringList{"a,,0", "a/1,2013-07-29T14:02:11,1", "b,,0", "c,,0",
                           "c/2,2013-07-29T14:02:11,1", "filelist.sync,2013-07-29T14:02:11,1"};
    QTest::newRow("readable directory without search permission")
            << QStringList{"share/d/x", "share/e"} << QStringList{"share=777", "share/d=644"}
            << QStringList{"source is <root>\\share",
                           "filelist: cannot stat <root>\\share/d/x: Permission denied"}
            << QStringList{"d,,0", "e,2013-07-29T14:02:11,1"};
    QTest::newRow("unreadable source keeps the old list")
            << QStringList{"share/f", "share/filelist.sync"} << QStringList{"share=333"}
            << QStringList{"source is <root>\\share",
                           "filelist: cannot read directory <root>\\share: Permission denied"}
            << QStringList{};
    QTest::newRow("read-only source keeps the old list")
            << QStringList{"share/f", "share/filelist.sync"} << QStringList{"share=755"}
            << QStringList{"source is <root>\\share",
                           "filelist: cannot write <root>\\share\\filelist.sync.new: Permission denied"}
            << QStringList{};
}

// Root reads and writes everything, so these run the program as an
// unprivileged user.
void tst_Program::unprivileged()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, modes);
    QFETCH(QStringList, said);
    QFETCH(QStringList, list);

    QString why;
    if (!canDropPrivileges(&why))
        QSKIP(qPrintable(why));

    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add(tree);
    const QByteArray old = t.read(QStringLiteral("share/filelist.sync"));
    shareWithUnprivileged(t.root());
    for (const QString &mode : modes) {
        const qsizetype eq = mode.indexOf(u'=');
        t.chmod(mode.left(eq), mode.mid(eq + 1).toInt(nullptr, 8));
    }

    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, cleanEnvironment(),
                                     ChildLimits{true, -1});
    for (const QString &mode : modes)
        t.chmod(mode.left(mode.indexOf(u'=')), 0755); // so that the tree can be removed

    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.messages, withRoot(said, t.root()));
    if (list.isEmpty())
        QCOMPARE(t.read(QStringLiteral("share/filelist.sync")), old);
    else
        QCOMPARE(lines(t.read(QStringLiteral("share/filelist.sync"))), list);
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("share/filelist.sync.new"))));
}

// A write that fails part-way (here a file size limit, as a full disk would)
// fails the save: the old list stays byte for byte, no partial file is left.
void tst_Program::diskFullKeepsOldList()
{
#ifdef Q_OS_WIN
    QSKIP("Windows has no file size limit to put on a child process");
#endif
    QTemporaryDir dir;
    TestTree t(dir.path());
    for (int i = 0; i < 300; ++i)
        t.file(QStringLiteral("share/a-rather-long-file-name-to-fill-the-list-%1").arg(i));
    t.file(QStringLiteral("share/filelist.sync"), "old list\r\n");

    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, cleanEnvironment(),
                                     ChildLimits{false, 4096});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.messages,
             withRoot({"source is <root>\\share",
                       "filelist: cannot write <root>\\share\\filelist.sync.new: File too large"},
                      t.root()));
    QCOMPARE(t.read(QStringLiteral("share/filelist.sync")), QByteArray("old list\r\n"));
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("share/filelist.sync.new"))));
}

// The walk holds a descriptor per directory level only down to a point; a
// tree deeper than the process may open files is still listed whole.
void tst_Program::deepTreeWithFewDescriptors()
{
    QTemporaryDir dir;
    TestTree t(dir.path());
    QString path = QStringLiteral("share");
    QStringList expected;
    for (int depth = 0; depth < 150; ++depth) {
        path += QStringLiteral("/d");
        expected << path.mid(6) + QStringLiteral(",,0");
    }
    t.file(path + QStringLiteral("/leaf"));
    expected << path.mid(6) + QStringLiteral("/leaf,2013-07-29T14:02:11,1");

    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, cleanEnvironment(),
                                     ChildLimits{false, -1, 64});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.messages, withRoot({"source is <root>\\share"}, t.root()));
    QCOMPARE(lines(t.read(QStringLiteral("share/filelist.sync"))), expected);
}

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
