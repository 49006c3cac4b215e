// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "listfile.h"
#include "listrun.h"
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
    QTest::newRow("leftover .new overwritten")
            << QStringList{"filelist.sync", "filelist.sync.new"} << "" << true << 2
            << QStringList{saved};
    QTest::newRow(".new a link to a file elsewhere")
            << QStringList{"filelist.sync", "filelist.sync.new -> ../outside"} << "" << true << 2
            << QStringList{saved};
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
            << QStringList{"filelist: cannot replace <root>\\filelist.sync: "
                                   + qt_error_string(ERROR_ACCESS_DENIED),
                           notWritten};
    QTest::newRow("read-only list file")
            << QStringList{"filelist.sync"} << "read-only" << false << 2
            << QStringList{"filelist: cannot replace <root>\\filelist.sync: "
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
