// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listfile.h"
#include "listrun.h"
#include "previouslist.h"
#include "systemerror.h"
#include "testtree.h"
#include "walkrecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <cerrno>
#include <chrono>
#include <ctime>
#include <limits>

namespace {

// The walk at one thread and at several: what it hands on is the same
// however many threads read ahead.
constexpr int ThreadCounts[] = {1, 4, 16};

void addThreadRows()
{
    QTest::addColumn<int>("threads");
    for (const int threads : ThreadCounts)
        QTest::addRow("%d thread%s", threads, threads == 1 ? "" : "s") << threads;
}

// Items below share as TestTree::add takes them; "name:content" a file
// holding content.
void addToShare(TestTree &t, const QStringList &items)
{
    t.dir(QStringLiteral("share"));
    for (const QString &item : items) {
        const qsizetype colon = item.indexOf(u':');
        if (colon < 0)
            t.add({QStringLiteral("share/") + item});
        else
            t.file(QStringLiteral("share/") + item.left(colon), item.mid(colon + 1).toUtf8());
    }
}

} // namespace

// The walk over real trees, and writing and replacing the list file.
class tst_FileList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();
    void walk_data();
    void walk();
    void linkToFileListedAsTarget();
    void namesThatCannotBeLines_data();
    void namesThatCannotBeLines();
    void exactBytes_data();
    void exactBytes();
    void cancelAtRandomMoments();
    void fewDescriptors_data();
    void fewDescriptors();
    void emptyTreeGivesEmptyFile();
    void publish_data();
    void publish();
    void changes_data();
    void changes();
    void listLandsInTheOpenDirectory();
    void errorCauses_data();
    void errorCauses();
};

void tst_FileList::init()
{
    QString why;
    if (!useTimeZone("Europe/Berlin", &why))
        QSKIP(qPrintable(why));
}

void tst_FileList::cleanupTestCase()
{
    qunsetenv("TZ");
    tzset();
}

void tst_FileList::walk_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("source"); // relative to the tree
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QStringList>("hidden"); // given the hidden ("name=h") or system attribute
    QTest::addColumn<int>("threads");

    const auto row = [](const char *name, const QStringList &tree, const QString &source,
                        const QStringList &listed, const QStringList &said, bool exists,
                        const QStringList &hidden = {}) {
        for (const int threads : ThreadCounts)
            QTest::addRow("%s, %d thread%s", name, threads, threads == 1 ? "" : "s")
                    << tree << source << listed << said << exists << hidden << threads;
    };
    row("case-insensitive order, contents after their directory",
        {"d.txt", "C/x", "C/Y/z", "b.txt", "a/", "C/Y/Z2"}, "",
        {"a/", "b.txt", "C/", "C/x", "C/Y/", "C/Y/z", "C/Y/Z2", "d.txt"}, {}, true);
    row("excludes: every name, files too",
        {"temp", "source/a", "docs/", "data/d/e", "install", "backup/c", "logs", "zz"}, "", {"zz"},
        {"backup excluded", "data excluded", "docs excluded", "install excluded", "logs excluded",
         "source excluded", "temp excluded"},
        true);
    row("excludes: top level only, exact case", {"TEMP", "Docs/b", "sub/logs/f", "logs2", "zz"}, "",
        {"Docs/", "Docs/b", "logs2", "sub/", "sub/logs/", "sub/logs/f", "TEMP", "zz"}, {}, true);
    row("hidden and special files left out",
        {".hidden", ".dir/f", "pipe|", "sock=", "dangling -> nowhere", "f", "d/.h", "d/pipe|"}, "",
        {"d/", "f"}, {}, true);
    row("link cycle listed, not entered", {"loop/up -> ..", "loop/f", "self -> ."}, "",
        {"loop/", "loop/f", "loop/up/", "self/"},
        {"filelist: not entering <root>\\loop\\up: it leads back to <root>",
         "filelist: not entering <root>\\self: it leads back to <root>"},
        true);
    row("alias walked under each path", {"real/f", "alias -> real", "other/inner -> ../real"}, "",
        {"alias/", "alias/f", "other/", "other/inner/", "other/inner/f", "real/", "real/f"}, {},
        true);
    row("cycle through an alias", {"real/f", "alias -> real", "real/back -> ../alias"}, "",
        {"alias/", "alias/back/", "alias/f", "real/", "real/back/", "real/f"},
        {"filelist: not entering <root>\\alias\\back: it leads back to <root>\\alias",
         "filelist: not entering <root>\\real\\back: it leads back to <root>\\real"},
        true);
    row("leftover list files are ordinary files", {"filelist.sync", "filelist.sync.new", "a"}, "",
        {"a", "filelist.sync", "filelist.sync.new"}, {}, true);
    row("empty source", {"x/"}, "x", {}, {}, true);
    row("missing source", {"x/"}, "missing", {},
        {"filelist: this path is not valid/available: <root>/missing"}, false);
    row("source is a file", {"f"}, "f", {},
        {"filelist: this path is not valid/available: <root>/f"}, false);
    row("source is a FIFO", {"p|"}, "p", {},
        {"filelist: this path is not valid/available: <root>/p"}, false);
    row("links that lead back up are listed, not entered",
        {"x/d/root -> /", "x/d/up -> ../..", "x/d/self -> .."}, "x",
        {"d/", "d/root/", "d/self/", "d/up/"},
        {"filelist: not entering <root>/x\\d\\root: it leads back to /",
         "filelist: not entering <root>/x\\d\\self: it leads back to <root>/x",
         "filelist: not entering <root>/x\\d\\up: it leads back to <root>"},
        true);
#ifdef Q_OS_WIN
    // A Western code page, Wine's own: é is in it, Ω is not.
    row("odd characters pass through, a name outside the code page left out",
        {"a,b", "50% off", "é", "Ω/"}, "", {"50% off", "a,b", "é"},
        {"filelist: skipping a name that is not valid text in <root>"}, true);
    row("hidden and system attributes left out", {"h", "s", "d/f", "e/f", "shown"}, "",
        {"e/", "shown"}, {}, true, {"h=h", "s=s", "d=h", "e/f=s"});
#else
    row("odd characters pass through", {"a,b", "50% off", "é", "Ω/"}, "",
        {"50% off", "a,b", "é", "Ω/"}, {}, true);
#endif
    // Windows would take "foo." for "foo", drop the space of "bar " and open
    // a device for "con" or "aux.txt", given them in a path.
    row("names as they are, with their own contents",
        {"foo/in-foo", "foo./in-foodot", "bar /in-barspace", "aux.txt/in-aux", "con/in-con",
         "nul.txt"},
        "",
        {"aux.txt/", "aux.txt/in-aux", "bar /", "bar /in-barspace", "con/", "con/in-con", "foo/",
         "foo/in-foo", "foo./", "foo./in-foodot", "nul.txt"},
        {}, true);
    row("quotes pass through", {"\"q\"", "a"}, "", {"\"q\"", "a"}, {}, true);
    // Several reads of the directory, sorted in place: letters of either
    // case by number, the names that are not ASCII after them.
    QStringList wide;
    QStringList wideSorted{"w/"};
    for (int i = 0; i < 3000; ++i) {
        const QString name = QString(i % 2 ? u'X' : u'x') + QString::number(i).rightJustified(5, u'0');
        wide << QStringLiteral("w/") + name;
        wideSorted << QStringLiteral("w/") + name;
    }
    for (int i = 0; i < 300; ++i) {
        const QString name = QString(i % 2 ? u'\u00c9' : u'\u00e9') + QString::number(i).rightJustified(5, u'0');
        wide.insert(i * 10, QStringLiteral("w/") + name);
        wideSorted << QStringLiteral("w/") + name;
    }
    row("a directory wider than many reads of it, whole and sorted", wide, "", wideSorted, {}, true);
}

void tst_FileList::walk()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, source);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, said);
    QFETCH(bool, exists);
    QFETCH(QStringList, hidden);
    QFETCH(int, threads);
    QString why;
    if (!TestTree::canMake(tree, &why))
        QSKIP(qPrintable(why));

    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add(tree);
#ifdef Q_OS_WIN
    for (const QString &item : hidden)
        t.hide(item.chopped(2), item.endsWith(u's'));
#else
    QVERIFY(hidden.isEmpty());
#endif
    const QString root = source.isEmpty() ? t.root() : t.path(source);

    WalkRecorder walk;
    const bool exact = walk.walk(root, ListRun::excludedNames(), threads);
    QCOMPARE(walk.entries(), listed);
    QCOMPARE(walk.lines(), withRoot(said, t.root()));
    QCOMPARE(exact, exists);
}

void tst_FileList::linkToFileListedAsTarget()
{
    QTemporaryDir dir;
    QString why;
    if (!TestTree::canMake({QStringLiteral("z -> target")}, &why))
        QSKIP(qPrintable(why));
    TestTree t(dir.path());
    t.file(QStringLiteral("target"), "12345", 1375099331).link(QStringLiteral("z"), QStringLiteral("target"));
    QCOMPARE(ListRun(t.root().toUtf8()).run(), ListRun::Outcome::Saved);
    QCOMPARE(t.read(QStringLiteral("filelist.sync")),
             QByteArray("target,2013-07-29T14:02:11,5\r\nz,2013-07-29T14:02:11,5\r\n"));
}

void tst_FileList::namesThatCannotBeLines_data()
{
    addThreadRows();
}

// A CR or LF would split the line; bytes that are not UTF-8 cannot be written
// back as the same name. Such names go, with everything below them.
void tst_FileList::namesThatCannotBeLines()
{
    QFETCH(int, threads);
#ifdef Q_OS_WIN
    QSKIP("Windows names are UTF-16 and cannot hold a line break");
#endif
    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add({"d1/a", "d1/z", "d2/ok", "d3/b"})
            .rawFile(QStringLiteral("d1"), "bad\nname")
            .rawFile(QStringLiteral("d2"), "\xff\xfe")
            .rawFile(QStringLiteral("d2"), "half\xc3")
            .file(QStringLiteral("d3/cr\rdir/inner"));
    WalkRecorder walk;
    QVERIFY(walk.walk(t.root(), {}, threads));
    QCOMPARE(walk.entries(), (QStringList{"d1/", "d1/a", "d1/z", "d2/", "d2/ok", "d3/", "d3/b"}));
    QStringList said = walk.lines();
    said.sort();
    QCOMPARE(said, withRoot({"filelist: skipping a name that is not valid text in <root>/d2",
                                 "filelist: skipping a name that is not valid text in <root>/d2",
                                 "filelist: skipping a name with a line break in <root>/d1",
                                 "filelist: skipping a name with a line break in <root>/d3"},
                                t.root()));
}

void tst_FileList::exactBytes_data()
{
    addThreadRows();
}

void tst_FileList::exactBytes()
{
    QFETCH(int, threads);
    QTemporaryDir dir;
    TestTree t(dir.path());
    t.file(QStringLiteral("bin/tool.exe"), QByteArray(53248, 'b'))
            .touch(QStringLiteral("bin/tool.exe"), 1375099331, 999999999)
            .file(QStringLiteral("a,b"), "ab", 1700000000)
            .file(QStringLiteral("é"), "", 0)
            .file(QStringLiteral("huge"), "", 1375099331)
            .dir(QStringLiteral("Logs"));
    DebugMessages messages;
    // A sparse file of 5 GiB: more than 32 bits of size, no disk space.
    QVERIFY(QFile::resize(t.path(QStringLiteral("huge")), Q_INT64_C(5368709120)));
    t.touch(QStringLiteral("huge"), 1375099331);
    QCOMPARE(ListRun(t.root().toUtf8(), threads).run(), ListRun::Outcome::Saved);
    const QByteArray expected = "a,b,2023-11-14T23:13:20,2\r\n"
                                "bin,,0\r\n"
                                "bin/tool.exe,2013-07-29T14:02:11,53248\r\n"
                                "huge,2013-07-29T14:02:11,5368709120\r\n"
                                "Logs,,0\r\n"
            + listBytes(QStringLiteral("é,1970-01-01T01:00:00,0\r\n"));
    QCOMPARE(t.read(QStringLiteral("filelist.sync")), expected);
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("filelist.sync.new"))));
    QCOMPARE(messages.take(),
             withRoot({"filelist: saved <root>\\filelist.sync (6 entries)"}, t.root()));
}

// Walks with many threads, each cancelled by another thread at a random
// moment, as closing the window or a stop signal cancels a run: each ends
// cancelled, having handed on a beginning of the walk, or whole. Bounded in
// time for the sanitizer builds; VORN_CANCEL_WALKS and VORN_CANCEL_WINDOW_MS
// ask for that many walks, each cancelled within that many milliseconds.
void tst_FileList::cancelAtRandomMoments()
{
    QTemporaryDir dir;
    TestTree t(dir.path());
    // A comb of 30 levels, each holding 40 files, a subtree s and the next
    // level z after them: directories with subdirectories are read at once
    // on many threads, and the walk waits for the next level at each one.
    QStringList comb;
    QString level;
    for (int depth = 0; depth < 30; ++depth) {
        for (int i = 0; i < 40; ++i) {
            comb << level + QStringLiteral("f%1").arg(i, 2, 10, QLatin1Char('0'))
                 << level + QStringLiteral("s/g%1").arg(i, 2, 10, QLatin1Char('0'));
        }
        comb << level + QStringLiteral("s/t/1");
        level += QStringLiteral("z/");
    }
    t.add(comb);
    WalkRecorder one;
    QVERIFY(one.walk(t.root()));
    // By default the moments spread over the shortest of a few whole walks
    // and a little after it.
    qint64 shortest = std::numeric_limits<qint64>::max();
    QElapsedTimer timer;
    for (int i = 0; i < 3; ++i) {
        WalkRecorder many;
        timer.start();
        QVERIFY(many.walk(t.root(), {}, 16));
        shortest = qMin(shortest, timer.nsecsElapsed() / 1000);
        QCOMPARE(many.entries(), one.entries());
    }
    bool counted = false;
    const int walks = qEnvironmentVariableIntValue("VORN_CANCEL_WALKS", &counted);
    bool windowed = false;
    const int windowMs = qEnvironmentVariableIntValue("VORN_CANCEL_WINDOW_MS", &windowed);
    const qint64 window = windowed ? windowMs * Q_INT64_C(1000) : qMax<qint64>(1000, shortest * 5 / 4);

    int done = 0;
    int cancelled = 0;
    // By default at least 20 walks, and then as many as three seconds take.
    for (timer.start(); counted ? done < walks : done < 20 || timer.elapsed() < 3000; ++done) {
        WalkRecorder walk;
        const std::chrono::microseconds delay(QRandomGenerator::global()->bounded(window + 1));
        const DirectoryWalk::Result result = walk.walkCancelledAfter(t.root(), 16, delay);
        QVERIFY(result != DirectoryWalk::Result::Failed);
        if (result == DirectoryWalk::Result::Cancelled) {
            ++cancelled;
            QCOMPARE(walk.entries(), one.entries().first(walk.entries().size()));
        } else {
            QCOMPARE(walk.entries(), one.entries());
        }
        QCOMPARE(walk.lines(), one.lines());
    }
    qInfo("%d walks, %d of them cancelled, within %lld us", done, cancelled, window);
    QVERIFY(cancelled > 0);
}

void tst_FileList::fewDescriptors_data()
{
    addThreadRows();
}

// With few descriptors the walk gives directories up and reopens them all
// the time, while workers below them look for a link's target among their
// ancestors: the same walk as with many.
void tst_FileList::fewDescriptors()
{
#ifdef Q_OS_WIN
    QSKIP("a process's descriptor limit is POSIX's");
#else
    QFETCH(int, threads);
    // A ring of directories, each holding three subdirectories with a file
    // and three links to the next: every way around ends in a link back.
    QTemporaryDir dir;
    TestTree t(dir.path());
    for (int i = 0; i < 7; ++i) {
        for (int j = 0; j < 3; ++j) {
            t.file(QStringLiteral("r%1/s%2/f").arg(i).arg(j))
                    .link(QStringLiteral("r%1/l%2").arg(i).arg(j), QStringLiteral("../r%1").arg((i + 1) % 7));
        }
    }
    WalkRecorder many;
    QVERIFY(many.walk(t.root()));
    struct rlimit before;
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &before), 0);
    struct rlimit few = before;
    few.rlim_cur = 40;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &few), 0);
    WalkRecorder walk;
    const bool exact = walk.walk(t.root(), {}, threads);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &before), 0);
    QVERIFY(exact);
    QCOMPARE(walk.entries(), many.entries());
    QCOMPARE(walk.lines(), many.lines());
#endif
}

void tst_FileList::emptyTreeGivesEmptyFile()
{
    QTemporaryDir dir;
    QCOMPARE(ListRun(dir.path().toUtf8()).run(), ListRun::Outcome::Saved);
    QCOMPARE(QFileInfo(dir.path() + QStringLiteral("/filelist.sync")).size(), 0);
}

void tst_FileList::publish_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("listFile"); // "read-only", or "held open" without delete sharing
    QTest::addColumn<bool>("published");
    QTest::addColumn<int>("listed"); // entries the walk handed on
    QTest::addColumn<QStringList>("said");

    const QString saved = QStringLiteral("filelist: saved <root>\\filelist.sync (2 entries)");
    const QString notWritten = QStringLiteral(
            "filelist: not saved, the previous list is kept (the list could not be written)");
    // The old list holds "x": not a list to count against.
    const QString cutOff = QStringLiteral("filelist: the changes are not counted: "
                                          "<root>\\filelist.sync ends in the middle of a line (cut off?)");
    QTest::newRow("leftover .new overwritten")
            << QStringList{"filelist.sync", "filelist.sync.new"} << "" << true << 2
            << QStringList{cutOff, saved};
    QTest::newRow(".new a link to a file elsewhere")
            << QStringList{"filelist.sync", "filelist.sync.new -> ../outside"} << "" << true << 2
            << QStringList{cutOff, saved};
    QTest::newRow("list file a link to a file elsewhere")
            << QStringList{"filelist.sync -> ../outside"} << "" << true << 2 << QStringList{saved};
    // A list that cannot be created stops the walk before its first entry.
#ifdef Q_OS_WIN
    // The reasons are the system's own texts, which differ between versions.
    QTest::newRow(".new cannot be created")
            << QStringList{"filelist.sync", "filelist.sync.new/"} << "" << false << 0
            << QStringList{"filelist: cannot write <root>\\filelist.sync.new: "
                                   + qt_error_string(ERROR_FILE_EXISTS),
                           notWritten};
    QTest::newRow("list file cannot be replaced")
            << QStringList{"filelist.sync/x"} << "" << false << 3
            << QStringList{"filelist: cannot replace <root>\\filelist.sync: "
                                   + qt_error_string(ERROR_ACCESS_DENIED),
                           notWritten};
    QTest::newRow("list file held open without delete sharing")
            << QStringList{"filelist.sync"} << "held open" << false << 2
            << QStringList{cutOff,
                           "filelist: cannot replace <root>\\filelist.sync: "
                                   + qt_error_string(ERROR_ACCESS_DENIED),
                           notWritten};
    QTest::newRow("read-only list file")
            << QStringList{"filelist.sync"} << "read-only" << false << 2
            << QStringList{cutOff,
                           "filelist: cannot replace <root>\\filelist.sync: "
                                   + qt_error_string(ERROR_ACCESS_DENIED),
                           notWritten};
#else
    QTest::newRow(".new cannot be created")
            << QStringList{"filelist.sync", "filelist.sync.new/"} << "" << false << 0
            << QStringList{"filelist: cannot write <root>/filelist.sync.new: File exists", notWritten};
    QTest::newRow("list file cannot be replaced")
            << QStringList{"filelist.sync/x"} << "" << false << 3
            << QStringList{"filelist: cannot replace <root>/filelist.sync: Is a directory",
                           notWritten};
#endif
}

// The new list lands whole, never through a link; when it cannot, the old
// list stays byte for byte and no .new file is left behind.
void tst_FileList::publish()
{
    QFETCH(QStringList, before);
    QFETCH(QString, listFile);
    QFETCH(bool, published);
    QFETCH(int, listed);
    QFETCH(QStringList, said);
    QString why;
    if (!TestTree::canMake(before, &why))
        QSKIP(qPrintable(why));

    QTemporaryDir dir;
    TestTree outer(dir.path());
    outer.file(QStringLiteral("outside"), "outside\n");
    TestTree t(outer.path(QStringLiteral("share")));
    t.file(QStringLiteral("data.bin"), "12", 1375099331).add(before);
    const QByteArray old = t.read(QStringLiteral("filelist.sync"));
#ifdef Q_OS_WIN
    if (listFile == QLatin1String("read-only") && isWine())
        QSKIP("Wine replaces a read-only file; Windows refuses to");
#endif
    if (listFile == QLatin1String("read-only"))
        t.chmod(QStringLiteral("filelist.sync"), 0444);
    // Qt opens files on Windows without delete sharing.
    QFile held(t.path(QStringLiteral("filelist.sync")));
    if (listFile == QLatin1String("held open"))
        QVERIFY(held.open(QIODevice::ReadOnly));

    DebugMessages messages;
    ListRun run(t.root().toUtf8());
    QCOMPARE(run.run(), published ? ListRun::Outcome::Saved : ListRun::Outcome::SaveFailed);
    held.close();
    QCOMPARE(run.entriesListed(), qint64(listed));
    QCOMPARE(messages.take(), withRoot(said, t.root()));

    QCOMPARE(outer.read(QStringLiteral("outside")), QByteArray("outside\n"));
    if (published) {
        QVERIFY(!QFileInfo(t.path(QStringLiteral("filelist.sync"))).isSymLink());
        QVERIFY(lines(t.read(QStringLiteral("filelist.sync")))
                        .contains(QStringLiteral("data.bin,2013-07-29T14:02:11,2")));
        QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("filelist.sync.new"))));
    } else {
        QCOMPARE(t.read(QStringLiteral("filelist.sync")), old);
        QVERIFY(!QFileInfo(t.path(QStringLiteral("filelist.sync.new"))).isFile());
    }
}

void tst_FileList::changes_data()
{
    QTest::addColumn<QStringList>("before"); // the tree of a first run
    QTest::addColumn<QByteArray>("previous"); // when not null, the list in place of that run's
    QTest::addColumn<QStringList>("after"); // the tree of the run compared
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QStringList>("said"); // by that run
    QTest::addColumn<QByteArray>("changes"); // the changes file, which held "stale"; null: gone

    const auto row = [](const char *name, const QStringList &before, const QByteArray &previous,
                        const QStringList &after, const QStringList &settings,
                        const QString &said, const QByteArray &changes) {
        QStringList lines = said.split(u'|');
        const QString list = QStringLiteral("<root>/share\\filelist.sync");
        for (QString &line : lines)
            line.replace(QStringLiteral("<list>"), list);
        QTest::newRow(name) << before << previous << after << settings << lines << changes;
    };
    const QByteArray none; // no changes file: no counts to tell
    const QByteArray stale("stale"); // left as it was
    row("renamed, renamed in case, a file turned directory, a name with a comma changed",
        {"a", "Case", "f", "x,y", "keep/k"}, {}, {"b", "case", "f/in", "x,y:changed", "keep/k"}, {},
        "filelist: saved <list> (8 entries: 3 new, 2 changed, 2 gone)",
        "- a\n+ b\n- Case\n+ case\n~ f\n+ f/in\n~ x,y\n");
    // a-b sorts after a and all below it: a byte comparison would put it before a/b.
    row("a deep subtree removed", {"a/b/c/d/e/f", "a/b/c/g", "a-b", "z"}, {}, {"a/", "a-b", "z"},
        {}, "filelist: saved <list> (4 entries: 0 new, 0 changed, 6 gone)",
        "- a/b\n- a/b/c\n- a/b/c/d\n- a/b/c/d/e\n- a/b/c/d/e/f\n- a/b/c/g\n");
    row("no previous list", {}, "<missing>", {"a"}, {}, "filelist: saved <list> (1 entry)", none);
    row("an empty previous list", {}, "", {"a", "b/"}, {},
        "filelist: saved <list> (3 entries: 2 new, 0 changed, 0 gone)", "+ a\n+ b\n");

    // A previous list not written by this program, or not whole.
    row("out of order", {}, "b,,0\r\na,,0\r\n", {"a", "b"}, {},
        "filelist: the changes are not counted: <list> is not in this program's order (line 2)|"
        "filelist: saved <list> (3 entries)",
        none);
    row("a line that does not parse", {}, "a,2013-07-29T14:02:11\r\n", {"a"}, {},
        "filelist: the changes are not counted: line 1 of <list> is not a list line|"
        "filelist: saved <list> (2 entries)",
        none);
    row("line ends without CR", {}, "a,,0\nb,,0\n", {"a/"}, {},
        "filelist: the changes are not counted: line 1 of <list> is not a list line|"
        "filelist: saved <list> (2 entries)",
        none);
    row("an overlong line", {}, QByteArray(PreviousList::MaxLine, 'a') + ",,0\r\n", {"a"}, {},
        "filelist: the changes are not counted: line 1 of <list> is longer than 1048576 bytes|"
        "filelist: saved <list> (2 entries)",
        none);
    row("not text", {}, QByteArray("a\0b,,0\r\n", 9), {"a"}, {},
        "filelist: the changes are not counted: <list> is not text (line 1)|"
        "filelist: saved <list> (2 entries)",
        none);
    row("cut off", {}, "a,,0\r\nb,2013-07", {"a", "b"}, {},
        "filelist: the changes are not counted: <list> ends in the middle of a line (cut off?)|"
        "filelist: saved <list> (3 entries)",
        none);

    // The guards.
    const QString emptied = QStringLiteral(
            "filelist: not saved, the previous list is kept (the new list would empty %1: is the "
            "share mounted? VORN_FILESYNC_LIST_ALLOW_EMPTY=1 lets it through)");
    row("an empty list replacing one with entries", {"a"}, {}, {}, {},
        emptied.arg(QStringLiteral("a list of 1 entry")), stale);
    row("the same, let through", {"a"}, {}, {}, {"allowEmpty"},
        "filelist: saved <list> (1 entry: 0 new, 0 changed, 1 gone)", "- a\n");
    row("an empty list replacing one that cannot be counted", {}, "x", {}, {},
        "filelist: the changes are not counted: <list> ends in the middle of a line (cut off?)|"
            + emptied.arg(QStringLiteral("a list that names entries")),
        stale);
    row("an empty list replacing an empty one", {}, "", {}, {},
        "filelist: saved <list> (1 entry: 0 new, 0 changed, 0 gone)", "");
    const QString deletes = QStringLiteral(
            "filelist: not saved, the previous list is kept (the new list would delete 2 of 3 "
            "entries, more than VORN_FILESYNC_LIST_MAX_DELETE=%1 allows: a higher limit lets it "
            "through)");
    row("more deletions than the limit", {"a", "b", "c"}, {}, {"a"}, {"maxDelete=1"},
        deletes.arg(QStringLiteral("1")), stale);
    row("as many as the limit", {"a", "b", "c"}, {}, {"a"}, {"maxDelete=2"},
        "filelist: saved <list> (2 entries: 0 new, 0 changed, 2 gone)", "- b\n- c\n");
    row("more than the limit in percent", {"a", "b", "c"}, {}, {"a"}, {"maxDelete=66%"},
        deletes.arg(QStringLiteral("66%")), stale);
    row("within the limit in percent", {"a", "b", "c"}, {}, {"a"}, {"maxDelete=67%"},
        "filelist: saved <list> (2 entries: 0 new, 0 changed, 2 gone)", "- b\n- c\n");
    row("a previous list that cannot be counted passes the limit", {}, "b,,0\r\na,,0\r\n", {"a"},
        {"maxDelete=0"},
        "filelist: the changes are not counted: <list> is not in this program's order (line 2)|"
        "filelist: saved <list> (2 entries)",
        none);
    row("no marker", {"a"}, {}, {"a"}, {"marker=.published"},
        "filelist: not saved, the previous list is kept (the source holds no .published, which "
        "VORN_FILESYNC_LIST_MARKER asks for: is the share mounted? creating .published there "
        "lets the list through)",
        stale);
    row("the marker there", {"a"}, {}, {"a", ".published"}, {"marker=.published"},
        "filelist: saved <list> (2 entries: 0 new, 0 changed, 0 gone)", "");
#ifdef Q_OS_WIN
    const QString noDirectory = qt_error_string(ERROR_FILE_NOT_FOUND);
#else
    const QString noDirectory = QStringLiteral("No such file or directory");
#endif
    row("a changes file that cannot be written", {"a"}, {}, {"b"}, {"changes=<root>/none/changes"},
        "filelist: cannot write the changes file <root>/none/changes: " + noDirectory
                + "|filelist: saved <list> (2 entries: 1 new, 0 changed, 1 gone)",
        stale);
}

// A second run counts what changed since the first, in the outcome line and
// the changes file; a previous list that cannot be compared gets a line, and
// the run goes on; a guard keeps the previous list and the changes file
// byte for byte.
void tst_FileList::changes()
{
    QFETCH(QStringList, before);
    QFETCH(QByteArray, previous);
    QFETCH(QStringList, after);
    QFETCH(QStringList, settings);
    QFETCH(QStringList, said);
    QFETCH(QByteArray, changes);
    QTemporaryDir dir;
    TestTree t(dir.path());
    const QByteArray share = t.path(QStringLiteral("share")).toUtf8();
    addToShare(t, before);
    if (previous.isNull())
        QCOMPARE(ListRun(share).run(), ListRun::Outcome::Saved);
    const QByteArray list = previous.isNull() ? t.read(QStringLiteral("share/filelist.sync")) : previous;
    QVERIFY(QDir(t.path(QStringLiteral("share"))).removeRecursively());
    if (list != "<missing>")
        t.file(QStringLiteral("share/filelist.sync"), list);
    addToShare(t, after);
    t.file(QStringLiteral("changes"), "stale");

    RunSettings given;
    given.changesFile = t.path(QStringLiteral("changes")).toUtf8();
    for (const QString &setting : withRoot(settings, t.root())) {
        const QString value = setting.section(u'=', 1);
        given.allowEmpty = given.allowEmpty || setting == QLatin1String("allowEmpty");
        if (setting.startsWith(QLatin1String("maxDelete="))) {
            given.maxDeletePercent = value.endsWith(u'%');
            given.maxDelete = value.chopped(given.maxDeletePercent ? 1 : 0).toLongLong();
        } else if (setting.startsWith(QLatin1String("marker="))) {
            given.marker = value.toUtf8();
        } else if (setting.startsWith(QLatin1String("changes="))) {
            given.changesFile = value.toUtf8();
        }
    }
    DebugMessages messages;
    const ListRun::Outcome outcome = ListRun(share, 1, given).run();
    QCOMPARE(messages.take(), withRoot(said, t.root()));
    const bool saved = said.last().startsWith(QLatin1String("filelist: saved "));
    QCOMPARE(outcome, saved ? ListRun::Outcome::Saved : ListRun::Outcome::HeldBack);
    if (!saved)
        QCOMPARE(t.read(QStringLiteral("share/filelist.sync")), list);
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("share/filelist.sync.new"))));
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("changes.new"))));
#ifdef Q_OS_WIN
    changes.replace("\n", "\r\n");
#endif
    QCOMPARE(t.read(QStringLiteral("changes")), changes.isNull() ? QByteArray("<missing>") : changes);
}

// The list is written into the directory the walk holds open, even when
// another one was put at its path meanwhile.
void tst_FileList::listLandsInTheOpenDirectory()
{
    QTemporaryDir dir;
    TestTree t(dir.path());
    t.file(QStringLiteral("share/f"));
    ListFile::Error error;
    const DirectoryReader walked = DirectoryReader::open(t.path(QStringLiteral("share")).toUtf8(), &error);
    QVERIFY(walked.isOpen());
    QVERIFY(QDir(t.root()).rename(QStringLiteral("share"), QStringLiteral("walked")));
    t.dir(QStringLiteral("share"));
    bool renamed = false;
    {
        ListFile file(walked, ListFile::NewName);
        qint64 oldSize = 0;
        QVERIFY(file.create(ListFile::Name, &oldSize, &error));
        QVERIFY(file.write("f\r\n", 3, &error));
        QVERIFY(file.finish(&error));
        QVERIFY(QFileInfo::exists(t.path(QStringLiteral("walked/filelist.sync.new"))));
        renamed = file.renameTo(ListFile::Name, &error);
    }
    QCOMPARE(QDir(t.path(QStringLiteral("share"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{});
#ifdef Q_OS_WIN
    if (isWine() && !renamed)
        QSKIP("Wine refuses to rename below a directory's handle once the directory has moved");
#endif
    QVERIFY(renamed);
    QCOMPARE(t.read(QStringLiteral("walked/filelist.sync")), QByteArray("f\r\n"));
    QCOMPARE(QDir(t.path(QStringLiteral("walked"))).entryList(QDir::Files),
             (QStringList{"f", "filelist.sync"}));
}

void tst_FileList::errorCauses_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("cause");
    using Cause = SystemError::Cause;
    const auto row = [](const char *name, int code, Cause cause) {
        QTest::newRow(name) << code << int(cause);
    };
    row("none", 0, Cause::None);
#ifdef Q_OS_WIN
    row("ERROR_ACCESS_DENIED", ERROR_ACCESS_DENIED, Cause::Denied);
    row("ERROR_FILE_NOT_FOUND", ERROR_FILE_NOT_FOUND, Cause::Missing);
    row("ERROR_PATH_NOT_FOUND", ERROR_PATH_NOT_FOUND, Cause::Missing);
    row("ERROR_DIRECTORY, not a directory", ERROR_DIRECTORY, Cause::Missing);
    row("ERROR_CANT_RESOLVE_FILENAME", ERROR_CANT_RESOLVE_FILENAME, Cause::LinkLoop);
    row("ERROR_TOO_MANY_OPEN_FILES", ERROR_TOO_MANY_OPEN_FILES, Cause::OutOfDescriptors);
    row("ERROR_FILENAME_EXCED_RANGE", ERROR_FILENAME_EXCED_RANGE, Cause::PathTooLong);
    // A network that fails or a server that is down is no vanished name.
    row("ERROR_NETNAME_DELETED", ERROR_NETNAME_DELETED, Cause::Damage);
    row("ERROR_UNEXP_NET_ERR", ERROR_UNEXP_NET_ERR, Cause::Damage);
    row("ERROR_SEM_TIMEOUT", ERROR_SEM_TIMEOUT, Cause::Damage);
    row("ERROR_BAD_NETPATH", ERROR_BAD_NETPATH, Cause::Damage);
    row("ERROR_BAD_NET_NAME", ERROR_BAD_NET_NAME, Cause::Damage);
    row("ERROR_INVALID_NAME", ERROR_INVALID_NAME, Cause::Damage);
    row("ERROR_NOT_ENOUGH_MEMORY", ERROR_NOT_ENOUGH_MEMORY, Cause::Damage);
    row("ERROR_OUTOFMEMORY", ERROR_OUTOFMEMORY, Cause::Damage);
#else
    row("EACCES", EACCES, Cause::Denied);
    row("ENOENT", ENOENT, Cause::Missing);
    row("ENOTDIR", ENOTDIR, Cause::Missing);
    row("ENFILE", ENFILE, Cause::OutOfDescriptors);
    row("EIO", EIO, Cause::Damage);
#endif
    row("the walk's own", -1, Cause::Damage);
}

// What each of the system's errors means for the list, by its code.
void tst_FileList::errorCauses()
{
    QFETCH(int, code);
    QFETCH(int, cause);
    QCOMPARE(int(SystemError::fromCode(code).cause()), cause);
}

QTEST_GUILESS_MAIN(tst_FileList)
#include "tst_filelist.moc"
