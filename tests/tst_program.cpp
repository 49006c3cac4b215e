// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "testtree.h"

#ifndef Q_OS_WIN
#include "slowmount.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <clocale>
#include <locale.h>
#endif

// The built program, run headless on real trees as a script would run it.
class tst_Program : public QObject
{
    Q_OBJECT

private slots:
    void sources_data();
    void sources();
    void unprivileged_data();
    void unprivileged();
    void damage_data();
    void damage();
    void diskFullKeepsOldList();
    void deepTrees_data();
    void deepTrees();
    void listLandsInTheWalkedDirectory();
    void listKeepsModeAndOwner_data();
    void listKeepsModeAndOwner();
    void standardStreams_data();
    void standardStreams();
    void threadsGiveTheSameRun_data();
    void threadsGiveTheSameRun();
    void overlappingRunsTakeTurns();
};

namespace {

const QStringList ShareTree = {"share/f", "share/sub/g", "share/temp/x", "share/filelist.sync",
                               "share/filelist.sync.new"};
// The list ShareTree's run replaces: f as it is, old no longer there.
const QByteArray ShareOldList = "f,2013-07-29T14:02:11,1\r\nold,,0\r\n";
// ShareTree's list: the old list file as the walk met it, and not the new one
// a killed run left.
const QStringList ShareList = {"f,2013-07-29T14:02:11,1", "filelist.sync,2013-07-29T14:02:11,33",
                               "sub,,0", "sub/g,2013-07-29T14:02:11,1"};

#ifndef Q_OS_WIN
// Whether a process has the signal ignored, as the program has its stop
// signals once it has closed its window.
bool ignores(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("SigIgn:");
    return at >= 0 && (text.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
}
#endif

} // namespace

void tst_Program::sources_data()
{
    QTest::addColumn<QByteArrayList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QString>("listAt"); // empty: no list file written anywhere
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("printed"); // on standard output

    const QString saved = QStringLiteral(
            "filelist: saved <root>\\share\\filelist.sync (4 entries: 2 new, 0 changed, 1 gone)");
    const QString failed = QStringLiteral(
            "filelist: not saved, the previous list is kept (the tree could not be listed exactly)");
    const QString optIn = QStringLiteral("VORN_FILESYNC_LIST_EXIT_STATUS=1");
    QTest::newRow("CC_SERVER_ROOT and CC_SYSTEM")
            << QByteArrayList{} << QStringList{"CC_SERVER_ROOT=<root>", "CC_SYSTEM=share"}
            << QStringList{"source is <root>\\share", "temp excluded", saved} << "share" << 0
            << QByteArray();
    QTest::newRow("CC_SERVER_ROOT and a %NAME% argument")
            << QByteArrayList{"%SHARE_NAME%"}
            << QStringList{"CC_SERVER_ROOT=<root>", "SHARE_NAME=share"}
            << QStringList{"source is <root>\\share", "temp excluded", saved} << "share" << 0
            << QByteArray();
    QTest::newRow("two arguments, Qt's own options taken out")
            << QByteArrayList{"-platform", "offscreen", "<root>", "share"}
            << QStringList{"CC_SERVER_ROOT=/nonexistent"}
            << QStringList{"source is <root>\\share", "temp excluded", saved} << "share" << 0
            << QByteArray();
    QTest::newRow("no display and no platform asked for")
            << QByteArrayList{"<root>", "share"} << QStringList{"QT_QPA_PLATFORM="}
            << QStringList{"source is <root>\\share", "temp excluded", saved} << "share" << 0
            << QByteArray();
#ifndef Q_OS_WIN
    // Wine needs its display; Windows always has a desktop.
    QTest::newRow("a stale display")
            << QByteArrayList{"<root>", "share"} << QStringList{"QT_QPA_PLATFORM=", "DISPLAY=:87"}
            << QStringList{"cannot open the display (DISPLAY=:87): running offscreen, without a window",
                           "source is <root>\\share", "temp excluded", saved}
            << "share" << 0 << QByteArray();
    QTest::newRow("a Wayland socket that is gone")
            << QByteArrayList{"<root>", "share"}
            << QStringList{"QT_QPA_PLATFORM=", "WAYLAND_DISPLAY=wayland-gone",
                           "XDG_RUNTIME_DIR=<root>"}
            << QStringList{"cannot open the display (WAYLAND_DISPLAY=wayland-gone): running "
                           "offscreen, without a window",
                           "source is <root>\\share", "temp excluded", saved}
            << "share" << 0 << QByteArray();
    // Run as a user who can write no font cache, fontconfig would say so on
    // every run.
    QTest::newRow("only the program's lines on standard error offscreen")
            << QByteArrayList{"<root>", "share"} << QStringList{"FONTCONFIG_FILE=<root>/fonts.conf"}
            << QStringList{"source is <root>\\share", "temp excluded", saved} << "share" << 0
            << QByteArray();
#endif
#ifdef Q_OS_WIN
    // A name cannot hold a '"' there: no directory is missing, the name is wrong.
    const QString quoted = "filelist: cannot read directory <root>/50% \"off\" %s\\x%d: "
            + qt_error_string(ERROR_INVALID_NAME);
#else
    const QString quoted = "filelist: this path is not valid/available: <root>/50% \"off\" %s\\x%d";
#endif
    QTest::newRow("percent signs and quotes printed as they are")
            << QByteArrayList{"<root>/50% \"off\" %s", "x%d"} << QStringList{}
            << QStringList{"source is <root>/50% \"off\" %s\\x%d", quoted, failed} << "" << 0
            << QByteArray();
    QTest::newRow("missing source")
            << QByteArrayList{"<root>", "missing"} << QStringList{}
            << QStringList{"source is <root>\\missing",
                           "filelist: this path is not valid/available: <root>\\missing", failed}
            << "" << 0 << QByteArray();
    QTest::newRow("three arguments") << QByteArrayList{"<root>", "share", "x"} << QStringList{}
                                     << QStringList{} << "" << 0 << QByteArray();
    QTest::newRow("logging configuration silencing debug lines")
            << QByteArrayList{"<root>", "share"} << QStringList{"XDG_CONFIG_HOME=<root>/config"}
            << QStringList{"source is <root>\\share", "temp excluded", saved} << "share" << 0
            << QByteArray();
    QTest::newRow("logging rules from the caller")
            << QByteArrayList{"<root>", "share"} << QStringList{"QT_LOGGING_RULES=*.debug=false"}
            << QStringList{} << "share" << 0 << QByteArray();
    QTest::newRow("argument not UTF-8, next to a directory of its decoded name")
            << QByteArrayList{"<root>", "caf\xe9"} << QStringList{}
            << QStringList{"source is <root>\\caf\uFFFD",
                           "no source directory: the source is not valid text: <root>\\caf\uFFFD",
                           failed}
            << "" << 0 << QByteArray();
    QTest::newRow("nothing configured")
            << QByteArrayList{} << QStringList{}
            << QStringList{"source is \\",
                           "no source directory configured: both parts of the source are empty",
                           failed}
            << "" << 0 << QByteArray();

    // A source that is the file system's root, in several spellings.
    const auto root = [&](const char *name, const QByteArrayList &arguments, const QString &dir,
                          const QString &empty) {
        QStringList lines{"source is " + dir};
        if (!empty.isEmpty())
            lines << "filelist: the " + empty + " part of the source is empty (the " + empty
                            + " argument is empty): listing " + dir;
        lines << "no source directory: the source is the root of the file system: " + dir << failed;
        QTest::newRow(name) << arguments << QStringList{optIn} << lines << "" << 1 << QByteArray();
    };
#ifdef Q_OS_WIN
    root("a drive's root", {"C:", ""}, "C:\\", "second");
    root("a drive's root, long form", {"\\\\?\\C:", ""}, "\\\\?\\C:\\", "second");
    root("a drive's root, up from a folder", {"C:\\windows", ".."}, "C:\\windows\\..", "");
#else
    root("the root, two slashes", {"/", ""}, "/\\", "second");
    root("the root, with a dot", {"/.", ""}, "/.\\", "second");
    root("the root, up from it", {"", ".."}, "\\..", "first");
    root("a link to the root", {"<root>/to-root", ""}, "<root>/to-root\\", "second");
#endif

    // The empty piece is named, and the run goes on.
    QTest::newRow("an unset CC_SYSTEM")
            << QByteArrayList{} << QStringList{"CC_SERVER_ROOT=<root>/share"}
            << QStringList{"source is <root>/share\\",
                           "filelist: the second part of the source is empty (CC_SYSTEM is not "
                           "set): listing <root>/share\\",
                           "temp excluded",
                           "filelist: saved <root>/share\\\\filelist.sync (4 entries: 2 new, 0 changed, 1 gone)"}
            << "share" << 0 << QByteArray();
    QTest::newRow("an unset %NAME%, as cron leaves %SYS%")
            << QByteArrayList{"%SYS%"} << QStringList{"CC_SERVER_ROOT=<root>/share"}
            << QStringList{"source is <root>/share\\",
                           "filelist: the second part of the source is empty (SYS is not set): "
                           "listing <root>/share\\",
                           "temp excluded",
                           "filelist: saved <root>/share\\\\filelist.sync (4 entries: 2 new, 0 changed, 1 gone)"}
            << "share" << 0 << QByteArray();
#ifndef Q_OS_WIN
    // "//tmp/..." is "/tmp/..." here.
    QTest::newRow("an unset CC_SERVER_ROOT")
            << QByteArrayList{"<root>/share"} << QStringList{}
            << QStringList{"source is \\<root>/share",
                           "filelist: the first part of the source is empty (CC_SERVER_ROOT is not "
                           "set): listing \\<root>/share",
                           "temp excluded", "filelist: saved \\<root>/share\\filelist.sync (4 entries: 2 new, 0 changed, 1 gone)"}
            << "share" << 0 << QByteArray();
#endif

    // With the opt-in, the exit status tells the outcome; without it, 0.
    QTest::newRow("exit status: saved")
            << QByteArrayList{"<root>", "share"} << QStringList{optIn}
            << QStringList{"source is <root>\\share", "temp excluded", saved} << "share" << 0
            << QByteArray();
    QTest::newRow("exit status: failed")
            << QByteArrayList{"<root>", "missing"} << QStringList{optIn}
            << QStringList{"source is <root>\\missing",
                           "filelist: this path is not valid/available: <root>\\missing", failed}
            << "" << 1 << QByteArray();
#ifdef Q_OS_WIN
    const QString exists = qt_error_string(ERROR_FILE_EXISTS);
#else
    const QString exists = QStringLiteral("File exists");
#endif
    QTest::newRow("exit status: the list cannot be written")
            << QByteArrayList{"<root>", "stuck"} << QStringList{optIn}
            << QStringList{"source is <root>\\stuck",
                           "filelist: cannot write <root>\\stuck\\filelist.sync.new: " + exists,
                           "filelist: not saved, the previous list is kept (the list could not be "
                           "written)"}
            << "" << 2 << QByteArray();
    QTest::newRow("exit status: a wrong argument count")
            << QByteArrayList{"<root>", "share", "x"} << QStringList{optIn} << QStringList{} << ""
            << 4 << QByteArray();
    // The guards: deleting old, the one entry ShareOldList has that the share
    // has not; the share holds .published, and cleared nothing but a list of
    // one entry.
    const QString heldBack = QStringLiteral("filelist: not saved, the previous list is kept (");
    QTest::newRow("exit status: a deletion limit holds the list back")
            << QByteArrayList{"<root>", "share"}
            << QStringList{optIn, "VORN_FILESYNC_LIST_MAX_DELETE=0"}
            << QStringList{"source is <root>\\share", "temp excluded",
                           heldBack + "the new list would delete 1 of 2 entries, more than "
                                      "VORN_FILESYNC_LIST_MAX_DELETE=0 allows: a higher limit lets "
                                      "it through)"}
            << "" << 5 << QByteArray();
    QTest::newRow("a deletion limit that lets the list through")
            << QByteArrayList{"<root>", "share"}
            << QStringList{optIn, "VORN_FILESYNC_LIST_MAX_DELETE=50%"}
            << QStringList{"source is <root>\\share", "temp excluded", saved} << "share" << 0
            << QByteArray();
    QTest::newRow("exit status: no marker")
            << QByteArrayList{"<root>", "share"}
            << QStringList{optIn, "VORN_FILESYNC_LIST_MARKER=.mounted"}
            << QStringList{"source is <root>\\share",
                           heldBack + "the source holds no .mounted, which VORN_FILESYNC_LIST_MARKER "
                                      "asks for: is the share mounted? creating .mounted there lets "
                                      "the list through)"}
            << "" << 5 << QByteArray();
    QTest::newRow("the marker there")
            << QByteArrayList{"<root>", "share"}
            << QStringList{optIn, "VORN_FILESYNC_LIST_MARKER=.published"}
            << QStringList{"source is <root>\\share", "temp excluded", saved} << "share" << 0
            << QByteArray();
    QTest::newRow("exit status: an empty list never replaces one with entries")
            << QByteArrayList{"<root>", "cleared"} << QStringList{optIn}
            << QStringList{"source is <root>\\cleared",
                           heldBack + "the new list would empty a list of 1 entry: is the share "
                                      "mounted? VORN_FILESYNC_LIST_ALLOW_EMPTY=1 lets it through)"}
            << "" << 5 << QByteArray();
    QTest::newRow("an empty list let through")
            << QByteArrayList{"<root>", "cleared"}
            << QStringList{optIn, "VORN_FILESYNC_LIST_ALLOW_EMPTY=1"}
            << QStringList{"source is <root>\\cleared",
                           "filelist: saved <root>\\cleared\\filelist.sync (1 entry: 0 new, 0 "
                           "changed, 1 gone)"}
            << "cleared" << 0 << QByteArray();
    QTest::newRow("exit status: a guard's setting that is not valid")
            << QByteArrayList{"<root>", "share"}
            << QStringList{optIn, "VORN_FILESYNC_LIST_MAX_DELETE=ten"}
            << QStringList{"source is <root>\\share",
                           "filelist: VORN_FILESYNC_LIST_MAX_DELETE=ten is neither a number of "
                           "entries (100) nor a percentage (10%): nothing is listed",
                           failed}
            << "" << 1 << QByteArray();
    QTest::newRow("exit status: anything but 1 is no opt-in")
            << QByteArrayList{"<root>", "missing"}
            << QStringList{"VORN_FILESYNC_LIST_EXIT_STATUS=yes"}
            << QStringList{"source is <root>\\missing",
                           "filelist: this path is not valid/available: <root>\\missing", failed}
            << "" << 0 << QByteArray();

    // Touching nothing, whatever the environment names.
    const QStringList share{"CC_SERVER_ROOT=<root>", "CC_SYSTEM=share", optIn};
    QTest::newRow("--version") << QByteArrayList{"--version"} << share << QStringList{} << "" << 0
                               << QByteArray("vorn_filesync_list " VORN_VERSION "\n");
    QTest::newRow("--help") << QByteArrayList{"--help"} << share << QStringList{} << "" << 0
                            << QByteArray("Usage: vorn_filesync_list ");
#ifndef Q_OS_WIN
    // Listed through a link to the share.
    QTest::newRow("--help beside a source piece is a source piece")
            << QByteArrayList{"<root>", "--help"} << QStringList{}
            << QStringList{"source is <root>\\--help", "temp excluded",
                           "filelist: saved <root>\\--help\\filelist.sync (4 entries: 2 new, 0 changed, 1 gone)"}
            << "--help" << 0 << QByteArray();
#endif
}

void tst_Program::sources()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QStringList, said);
    QFETCH(QString, listAt);
    QFETCH(int, status);
    QFETCH(QByteArray, printed);

    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add(ShareTree).add({"stuck/f", "stuck/filelist.sync.new/", "share/.published"});
    t.file(QStringLiteral("share/filelist.sync"), ShareOldList)
            .file(QStringLiteral("cleared/filelist.sync"), "gone,,0\r\n");
    // The decoded form of the raw name, and the raw name itself.
    t.add({QStringLiteral("caf\uFFFD/f")}).rawDir(QString(), "caf\xe9");
    // Read only where a row points XDG_CONFIG_HOME here.
    t.file(QStringLiteral("config/QtProject/qtlogging.ini"), "[Rules]\n*.debug=false\n");
    // Fonts whose only cache directory cannot be made, by root either: read
    // only where a row points FONTCONFIG_FILE here.
    t.file(QStringLiteral("fonts.conf"),
           "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
           "<fontconfig><dir>/usr/share/fonts</dir><cachedir>/proc/vorn-no-cache</cachedir>"
           "</fontconfig>\n");
#ifndef Q_OS_WIN
    t.link(QStringLiteral("to-root"), QStringLiteral("/"))
            .link(QStringLiteral("--help"), QStringLiteral("share"));
#endif
    const QByteArray old = t.read(QStringLiteral("share/filelist.sync"));

    QProcessEnvironment env = cleanEnvironment();
    for (const QString &assignment : withRoot(environment, t.root())) {
        const qsizetype eq = assignment.indexOf(u'=');
        if (eq == assignment.size() - 1)
            env.remove(assignment.left(eq));
        else
            env.insert(assignment.left(eq), assignment.mid(eq + 1));
    }
#ifndef Q_OS_WIN
    // Should a source that must not be listed be listed after all, the walk
    // of the whole file system fails at once rather than reading it.
    if (listAt.isEmpty())
        env = withFault(env, QStringLiteral("getdents64:/:5"));
#endif
    for (QByteArray &argument : arguments) {
#ifdef Q_OS_WIN
        if (QString::fromUtf8(argument).toUtf8() != argument)
            QSKIP("Windows passes arguments as UTF-16 text: bytes that are not UTF-8 cannot be given");
#endif
        argument.replace("<root>", QFile::encodeName(t.root()));
    }
    RunResult run = runProgram(arguments, env);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, status);
    QCOMPARE(run.messages, withRoot(said, t.root()));
    run.output.replace("\r\n", "\n");
    QCOMPARE(run.output.left(printed.size()), printed);
    QCOMPARE(run.output.isEmpty(), printed.isEmpty());
    const bool cleared = listAt == QLatin1String("cleared");
    if (listAt.isEmpty()) {
        QCOMPARE(t.read(QStringLiteral("share/filelist.sync")), old);
    } else {
        QCOMPARE(lines(t.read(listAt + QStringLiteral("/filelist.sync"))),
                 cleared ? QStringList{"filelist.sync,2013-07-29T14:02:11,9"} : ShareList);
    }
    if (!cleared)
        QCOMPARE(t.read(QStringLiteral("cleared/filelist.sync")), QByteArray("gone,,0\r\n"));
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("cleared/filelist.sync.new"))));
    // Cleared away by a run that read the share's top level, left alone by any other.
    const bool shareRead = said.contains(QStringLiteral("temp excluded")) || (!listAt.isEmpty() && !cleared);
    QCOMPARE(QFileInfo::exists(t.path(QStringLiteral("share/filelist.sync.new"))), !shareRead);
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("caf\uFFFD/filelist.sync"))));
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("stuck/filelist.sync"))));
    const QByteArray raw = QFile::encodeName(t.path(QStringLiteral("caf"))) + "\xe9/filelist.sync";
    QVERIFY(::access(raw.constData(), F_OK) != 0);
}

void tst_Program::unprivileged_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("modes"); // "path=octal", applied in order
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QStringList>("list"); // empty: the old list stays as it was

    const QString notWritten = QStringLiteral(
            "filelist: not saved, the previous list is kept (the list could not be written)");
    QTest::newRow("unreadable subdirectory in the middle")
            << QStringList{"share/a/1", "share/b/hidden-from-us", "share/c/2", "share/filelist.sync"}
            << QStringList{"share=777", "share/b=0"}
            << QStringList{"source is <root>\\share",
                           "filelist: cannot read directory <root>\\share\\b: Permission denied",
                           "filelist: saved <root>\\share\\filelist.sync (6 entries: 5 new, 0 "
                           "changed, 0 gone, 1 directory could not be read)"}
            << QStringList{"a,,0", "a/1,2013-07-29T14:02:11,1", "b,,0", "c,,0",
                           "c/2,2013-07-29T14:02:11,1", "filelist.sync,2013-07-29T14:02:11,0"};
    QTest::newRow("readable directory without search permission")
            << QStringList{"share/d/x", "share/e"} << QStringList{"share=777", "share/d=644"}
            << QStringList{"source is <root>\\share",
                           "filelist: cannot stat <root>\\share\\d\\x: Permission denied",
                           "filelist: saved <root>\\share\\filelist.sync (2 entries)"}
            << QStringList{"d,,0", "e,2013-07-29T14:02:11,1"};
    QTest::newRow("unreadable source keeps the old list")
            << QStringList{"share/f", "share/filelist.sync"} << QStringList{"share=333"}
            << QStringList{"source is <root>\\share",
                           "filelist: cannot read directory <root>\\share: Permission denied",
                           "filelist: not saved, the previous list is kept (the tree could not be "
                           "listed exactly)"}
            << QStringList{};
    QTest::newRow("read-only source keeps the old list")
            << QStringList{"share/f", "share/filelist.sync"} << QStringList{"share=755"}
            << QStringList{"source is <root>\\share",
                           "filelist: cannot write <root>\\share\\filelist.sync.new: Permission denied",
                           notWritten}
            << QStringList{};
    // The walk stops before it meets the closed directories: the run ends
    // with the top level read, not after the whole tree.
    QStringList wide{"share/filelist.sync"};
    for (int i = 0; i < 200; ++i)
        wide << QStringLiteral("share/d%1/f").arg(i, 3, 10, QLatin1Char('0'));
    QTest::newRow("read-only source stops the walk at once")
            << wide << QStringList{"share=755", "share/d000=0", "share/d199=0"}
            << QStringList{"source is <root>\\share",
                           "filelist: cannot write <root>\\share\\filelist.sync.new: Permission denied",
                           notWritten}
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
    // An empty old list, to count against.
    if (tree.contains(QStringLiteral("share/filelist.sync")))
        t.file(QStringLiteral("share/filelist.sync"), "");
    const QByteArray old = t.read(QStringLiteral("share/filelist.sync"));
    shareWithUnprivileged(t.root());
    for (const QString &mode : modes) {
        const qsizetype eq = mode.indexOf(u'=');
        t.chmod(mode.left(eq), mode.mid(eq + 1).toInt(nullptr, 8));
    }

    ChildLimits limits;
    limits.unprivileged = true;
    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, cleanEnvironment(), limits);
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

void tst_Program::damage_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("signal"); // sent while the fault holds the program at <root>/gate
    QTest::addColumn<QString>("locale"); // LC_ALL
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QStringList>("list"); // empty: the old list stays as it was
    QTest::addColumn<int>("status"); // with the exit status opted in

    const QString source = QStringLiteral("source is <root>\\share");
    const QStringList full = {"a,,0", "a/x,2013-07-29T14:02:11,1", "big,,0",
                              "filelist.sync,2013-07-29T14:02:11,12", "z,,0",
                              "z/y,2013-07-29T14:02:11,1"};
    // The list without a/x.
    const QStringList withoutX = {"a,,0", "big,,0", "filelist.sync,2013-07-29T14:02:11,12", "z,,0",
                                  "z/y,2013-07-29T14:02:11,1"};
    // Each with big's 1,500 files.
    // Against an old list of a and z alone.
    const QString savedFull = QStringLiteral(
            "filelist: saved <root>\\share\\filelist.sync (1506 entries: 1503 new, 0 changed, 0 gone)");
    const QString savedWithoutX = QStringLiteral(
            "filelist: saved <root>\\share\\filelist.sync (1505 entries: 1502 new, 0 changed, 0 gone)");
    const QString failed = QStringLiteral(
            "filelist: not saved, the previous list is kept (the tree could not be listed exactly)");
    const QString notWritten = QStringLiteral(
            "filelist: not saved, the previous list is kept (the list could not be written)");
    QTest::newRow("the source fails part-way")
            << "getdents64:<root>/share:5:1" << 0 << ""
            << QStringList{source, "filelist: cannot read directory <root>\\share: Input/output error",
                           failed}
            << QStringList{} << 1;
    QTest::newRow("a subdirectory fails part-way, later ones are fine")
            << "getdents64:<root>/share/big:5:1" << 0 << ""
            << QStringList{source,
                           "filelist: cannot read directory <root>\\share\\big: Input/output error",
                           failed}
            << QStringList{} << 1;
    QTest::newRow("a subdirectory cannot be opened for want of memory")
            << "openat:a:12" << 0 << ""
            << QStringList{source,
                           "filelist: cannot read directory <root>\\share\\a: Cannot allocate memory",
                           failed}
            << QStringList{} << 1;
    QTest::newRow("an entry cannot be looked at")
            << "fstatat:x:5" << 0 << ""
            << QStringList{source, "filelist: cannot stat <root>\\share\\a\\x: Input/output error",
                           failed}
            << QStringList{} << 1;
    QTest::newRow("an entry vanished before it was looked at")
            << "fstatat:x:2" << 0 << ""
            << QStringList{source, "filelist: cannot stat <root>\\share\\a\\x: No such file or directory",
                           savedWithoutX}
            << withoutX << 0;
    QTest::newRow("a directory vanished before it was opened")
            << "openat:a:2" << 0 << ""
            << QStringList{source, "filelist: this path is not valid/available: <root>\\share\\a",
                           savedWithoutX}
            << withoutX << 0;
    QTest::newRow("another locale: the walk's reason in English")
            << "fstatat:x:40" << 0 << "tr_TR.UTF-8"
            << QStringList{source,
                           "filelist: cannot stat <root>\\share\\a\\x: Too many levels of symbolic links",
                           savedWithoutX}
            << withoutX << 0;
    QTest::newRow("another locale: the list file's reason in English")
            << "fsync:<root>/share/filelist.sync.new:5" << 0 << "tr_TR.UTF-8"
            << QStringList{source,
                           "filelist: cannot write <root>\\share\\filelist.sync.new: Input/output error",
                           notWritten}
            << QStringList{} << 2;
    QTest::newRow("the directory cannot be synced after the rename: the list is in place")
            << "fsync:<root>/share:5" << 0 << ""
            << QStringList{source,
                           "filelist: cannot sync <root>\\share after replacing filelist.sync: "
                           "Input/output error",
                           savedFull}
            << full << 0;
    QTest::newRow("the file system cannot lock: the run goes on")
            << "flock:<root>/share:37" << 0 << ""
            << QStringList{source,
                           "filelist: cannot lock <root>\\share against other runs: No locks available",
                           savedFull}
            << full << 0;
    QTest::newRow("the previous list cannot be read: no counts")
            << "openat:filelist.sync:5" << 0 << ""
            << QStringList{source,
                           "filelist: the changes are not counted: cannot read "
                           "<root>\\share\\filelist.sync: Input/output error",
                           "filelist: saved <root>\\share\\filelist.sync (1506 entries)"}
            << full << 0;
    QTest::newRow("no thread can start")
            << "pthread_create:-:11" << 0 << "" << QStringList{source, savedFull} << full << 0;
    QTest::newRow("memory runs out")
            << "realloc:60000:12" << 0 << ""
            << QStringList{source,
                           "filelist: cannot read directory <root>\\share\\big: Cannot allocate memory",
                           failed}
            << QStringList{} << 1;
#ifndef Q_OS_WIN
    const QStringList cancelled = {source, "filelist: cancelled, the previous list is kept"};
    const std::pair<int, QByteArray> stops[] = {
            {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
    for (const auto &[signal, name] : stops) {
        QTest::newRow(name + " mid-walk") << "getdents64:<root>/share/big:hold:<root>/gate"
                                          << signal << "" << cancelled << QStringList{} << 3;
        QTest::newRow(name + " mid-save") << "fsync:<root>/share/filelist.sync.new:hold:<root>/gate"
                                          << signal << "" << cancelled << QStringList{} << 3;
    }
#endif
}

// Storage that fails is damage nobody chose: every place gets its line, and
// the list, which would leave out what could not be read, is not published.
void tst_Program::damage()
{
#ifdef Q_OS_WIN
    QSKIP("faults are injected by preloading a library into the program, which Windows does not do");
#else
    QFETCH(QString, fault);
    QFETCH(int, signal);
    QFETCH(QString, locale);
    QFETCH(QStringList, said);
    QFETCH(QStringList, list);
    QFETCH(int, status);

    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add({"share/a/x", "share/z/y", "share/big/"}).file(QStringLiteral("share/filelist.sync"),
                                                          "a,,0\r\nz,,0\r\n");
    // More names than one read of the directory returns.
    for (int i = 0; i < 1500; ++i)
        t.rawFile(QStringLiteral("share/big"), "f" + QByteArray::number(i));
    const QByteArray old = t.read(QStringLiteral("share/filelist.sync"));

    QProcessEnvironment env = withFault(cleanEnvironment(), withRoot({fault}, t.root())[0]);
    env.insert(QStringLiteral("VORN_FILESYNC_LIST_EXIT_STATUS"), QStringLiteral("1"));
    if (!locale.isEmpty()) {
        const locale_t installed = newlocale(LC_ALL_MASK, qPrintable(locale), locale_t(nullptr));
        if (!installed)
            QSKIP(qPrintable(locale + QStringLiteral(" is not installed (tools/install-deps.sh makes it)")));
        freelocale(installed);
        env.insert(QStringLiteral("LC_ALL"), locale);
    }
    const QString gate = t.path(QStringLiteral("gate"));
    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, env, {},
                                     [&](QProcess &program) {
        if (signal == 0)
            return;
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(gate), 10000);
        ::kill(pid_t(program.processId()), signal);
        // Stops are ignored once the window has closed and the run is cancelled.
        QTRY_VERIFY_WITH_TIMEOUT(ignores(program.processId(), signal), 10000);
        QFile::remove(gate);
    });
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, status);
    QCOMPARE(run.messages, withRoot(said, t.root()));
    if (list.isEmpty()) {
        QCOMPARE(t.read(QStringLiteral("share/filelist.sync")), old);
    } else {
        QStringList written = lines(t.read(QStringLiteral("share/filelist.sync")));
        written.erase(std::remove_if(written.begin(), written.end(),
                                     [](const QString &l) { return l.startsWith(u"big/"); }),
                      written.end());
        QCOMPARE(written, list);
    }
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("share/filelist.sync.new"))));
#endif
}

// A write that fails part-way (here a file size limit, as a full disk would)
// fails the save: the old list stays byte for byte, no partial file is left,
// and the walk stops there: the damaged directory after the first megabyte
// of list is never reached.
void tst_Program::diskFullKeepsOldList()
{
#ifdef Q_OS_WIN
    QSKIP("Windows has no file size limit to put on a child process");
#else
    QTemporaryDir dir;
    TestTree t(dir.path());
    for (int i = 0; i < 16000; ++i)
        t.file(QStringLiteral("share/a/a-rather-long-file-name-to-fill-the-list-%1").arg(i));
    t.file(QStringLiteral("share/filelist.sync"), "old,,0\r\n").file(QStringLiteral("share/z/f"));

    ChildLimits limits;
    limits.fileSizeLimit = 4096;
    const QProcessEnvironment env =
            withFault(cleanEnvironment(), withRoot({"getdents64:<root>/share/z:5"}, t.root())[0]);
    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, env, limits);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.messages,
             withRoot({"source is <root>\\share",
                       "filelist: cannot write <root>\\share\\filelist.sync.new: File too large",
                       "filelist: not saved, the previous list is kept (the list could not be "
                       "written)"},
                      t.root()));
    QCOMPARE(t.read(QStringLiteral("share/filelist.sync")), QByteArray("old,,0\r\n"));
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("share/filelist.sync.new"))));
#endif
}

void tst_Program::deepTrees_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("side"); // each level's other directory, holding the leaf
    QTest::addColumn<int>("openFiles");

    QTest::newRow("deeper than the process may open files") << 150 << "d" << "" << 64;
    QTest::newRow("a path far longer than the system takes")
            << 45 << QString(100, u'n') << "" << -1;
    QTest::newRow("a chain of 6,000 levels") << 6000 << "d" << "" << -1;
    // Coming back up, every level is needed again, long after it was left.
    QTest::newRow("a comb of 1,500 levels, few descriptors") << 1500 << "a" << "b" << 64;
}

// Every directory is opened from the one above, and given up again past a
// point: no path is too long and no tree too deep to be listed whole.
void tst_Program::deepTrees()
{
    QFETCH(int, depth);
    QFETCH(QString, name);
    QFETCH(QString, side);
    QFETCH(int, openFiles);
    QString why;
    if (depth * (name.size() + 1) > 4000 && !canMakeLongPaths(&why))
        QSKIP(qPrintable(why));
#ifdef Q_OS_WIN
    // Measured: a comb of 600 levels took 16 s, one of 1,200 took 85 s.
    if (depth > 1000 && isWine())
        QSKIP("Wine resolves a name below a directory's handle through the whole path");
#endif

    QTemporaryDir dir;
    TestTree t(dir.path());
    t.chain(QStringLiteral("share"), name, depth, QStringLiteral("leaf"), side);
    // Down the chain, then each level's side directory on the way back up.
    QStringList prefixes{QString()};
    QStringList expected;
    for (int i = 0; i < depth; ++i) {
        prefixes << prefixes.last() + name + u'/';
        expected << prefixes.last().chopped(1) + QStringLiteral(",,0");
    }
    expected << prefixes.last() + QStringLiteral("leaf,2013-07-29T14:02:11,1");
    for (int i = depth - 1; i >= 0 && !side.isEmpty(); --i) {
        expected << prefixes[i] + side + QStringLiteral(",,0")
                 << prefixes[i] + side + QStringLiteral("/leaf,2013-07-29T14:02:11,1");
    }

    ChildLimits limits;
    limits.openFiles = openFiles;
    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, cleanEnvironment(), limits);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.messages,
             withRoot({"source is <root>\\share",
                       QStringLiteral("filelist: saved <root>\\share\\filelist.sync (%1 entries)")
                               .arg(expected.size())},
                      t.root()));
    QCOMPARE(lines(t.read(QStringLiteral("share/filelist.sync"))), expected);
    QVERIFY(removeDeepTree(t.path(QStringLiteral("share"))));
}

// A deploy that swaps the source for another directory while the list is
// being saved: the list still lands in the tree it describes.
void tst_Program::listLandsInTheWalkedDirectory()
{
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        QSKIP("strace is needed to hold the save back");
    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add({"share/f"}).file(QStringLiteral("share/filelist.sync"), "f,2013-07-29T14:02:11,1\r\n");

    ChildLimits limits;
    limits.wrapper = QStringList{"strace", "-f", "-o", "/dev/null", "-e",
                                 "inject=fsync:delay_enter=1500000"};
    QProcessEnvironment env = cleanEnvironment();
    // The leak checker cannot look at a process that strace already traces.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, env, limits,
                                     [&t](QProcess &) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(t.path(QStringLiteral("share/filelist.sync.new"))),
                                 10000);
        QVERIFY(QDir(t.root()).rename(QStringLiteral("share"), QStringLiteral("walked")));
        t.file(QStringLiteral("share/newcomer"));
    });
    QCOMPARE(run.exitCode, 0);
    // The list is where the walk was: the share's path names another directory by now.
    QCOMPARE(run.messages,
             withRoot({"source is <root>\\share",
                       "filelist: saved <root>\\share\\filelist.sync (2 entries: 0 new, 0 changed, "
                       "0 gone)"},
                      t.root()));
    QCOMPARE(lines(t.read(QStringLiteral("walked/filelist.sync"))),
             (QStringList{"f,2013-07-29T14:02:11,1", "filelist.sync,2013-07-29T14:02:11,25"}));
    QCOMPARE(QDir(t.path(QStringLiteral("share"))).entryList(QDir::Files),
             QStringList{"newcomer"});
}

void tst_Program::listKeepsModeAndOwner_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("oldMode"); // -1: no list yet
    QTest::addColumn<uint>("oldOwner");
    QTest::addColumn<int>("mode");

    QTest::newRow("a first list takes the umask") << 022 << -1 << 0u << 0644;
    QTest::newRow("a narrow umask keeps a shared list readable") << 077 << 0644 << 65534u << 0644;
    QTest::newRow("an open umask keeps a list closed") << 000 << 0640 << 65534u << 0640;
}

// Clients read the list as whoever they are: replacing it must not change
// who may read or write it.
void tst_Program::listKeepsModeAndOwner()
{
#ifdef Q_OS_WIN
    QSKIP("Windows has no modes or umask: a new list takes the folder's inherited permissions");
#else
    QFETCH(int, umask);
    QFETCH(int, oldMode);
    QFETCH(uint, oldOwner);
    QFETCH(int, mode);

    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add({"share/f"});
    const QByteArray list = QFile::encodeName(t.path(QStringLiteral("share/filelist.sync")));
    uint owner = ::geteuid();
    if (oldMode >= 0) {
        t.file(QStringLiteral("share/filelist.sync"), "").chmod(QStringLiteral("share/filelist.sync"), oldMode);
        if (::lchown(list.constData(), oldOwner, oldOwner) == 0)
            owner = oldOwner;
    }
    ChildLimits limits;
    limits.umask = umask;
    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, cleanEnvironment(), limits);
    // The old list is listed too.
    QCOMPARE(run.messages,
             withRoot({"source is <root>\\share",
                       oldMode >= 0 ? "filelist: saved <root>\\share\\filelist.sync (2 entries: 1 new, "
                                      "0 changed, 0 gone)"
                                    : "filelist: saved <root>\\share\\filelist.sync (1 entry)"},
                      t.root()));
    struct stat st;
    QCOMPARE(::lstat(list.constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), mode);
    QCOMPARE(uint(st.st_uid), owner);
    QCOMPARE(uint(st.st_gid), oldMode >= 0 ? owner : uint(::getegid()));
#endif
}

void tst_Program::standardStreams_data()
{
    QTest::addColumn<bool>("readerGone");
    QTest::newRow("standard error's reader gone") << true;
    QTest::newRow("0, 1 and 2 closed") << false;
}

// Lines written to a pipe whose reader has gone are lost, not fatal; with the
// standard streams closed they go nowhere, and never into the list.
void tst_Program::standardStreams()
{
#ifdef Q_OS_WIN
    QSKIP("a Windows program writes to a pipe without a reader with an error, not a signal, "
          "and has no standard streams to close");
#endif
    QFETCH(bool, readerGone);
    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add(ShareTree).file(QStringLiteral("share/filelist.sync"), ShareOldList);

    ChildLimits limits;
    limits.stderrReaderGone = readerGone;
    limits.standardStreamsClosed = !readerGone;
    const RunResult run = runProgram({t.root(), QStringLiteral("share")}, cleanEnvironment(), limits);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(lines(t.read(QStringLiteral("share/filelist.sync"))), ShareList);
}

void tst_Program::threadsGiveTheSameRun_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("openFiles");
    QTest::addColumn<bool>("saved");
    // Through slowfs, each request waiting this long (µs), many in flight; -1: not.
    QTest::addColumn<int>("latencyUs");
    // The share mounted onto its directory loop, in a mount namespace of the program's own.
    QTest::addColumn<bool>("mountedInside");

    QStringList wide;
    for (int i = 0; i < 40; ++i)
        wide << QStringLiteral("share/d%1/sub/f").arg(i % 7) + QString::number(i)
             << QStringLiteral("share/d%1/g%2").arg(i).arg(i);
    QTest::newRow("many directories") << wide << "" << -1 << true << -1 << false;
    QTest::newRow("links, cycles, excluded and odd names")
            << QStringList{"share/a/x", "share/a/up -> ..", "share/a/root -> /", "share/b -> a",
                           "share/temp/t", "share/logs", "share/a,b", "share/p|", "share/s=",
                           "share/gone -> nowhere", "share/Ω/é"}
            << "" << -1 << true << -1 << false;
    QTest::newRow("damage part-way") << wide << "getdents64:<root>/share/d3:5:0" << -1 << false
                                     << -1 << false;
    QTest::newRow("a vanished entry") << wide << "fstatat:f12:2" << -1 << true << -1 << false;
    // Not a link: only the walk's own path tells that it leads back, once
    // the workers may have read below it.
    QStringList mounted{"share/a/x", "share/loop/", "share/z"};
    for (int i = 0; i < 30; ++i)
        mounted << QStringLiteral("share/d%1/e/f").arg(i);
    QTest::newRow("a directory mounted inside itself") << mounted << "" << -1 << true << -1 << true;
    QStringList deep;
    for (int i = 0; i < 40; ++i)
        deep << QStringLiteral("share/d%1/a/b/c/f").arg(i) << QStringLiteral("share/d%1/a/g").arg(i);
    // The fewest descriptors one thread saves this list with.
    QTest::newRow("a tight descriptor limit") << deep << "" << 8 << true << -1 << false;
    // Without workers the walk reads everything itself, as with one thread.
    QStringList few;
    for (int i = 1; i <= 20; ++i)
        few << QStringLiteral("share/C%1/a/f").arg(i);
    QTest::newRow("no thread can start, few descriptors")
            << few << "pthread_create:-:11" << 20 << true << -1 << false;
    // Memory runs out while the source itself is read: nothing is saved.
    QStringList wideTop{"share/sub/g"};
    for (int i = 0; i < 3000; ++i)
        wideTop << QStringLiteral("share/f%1").arg(i);
    QTest::newRow("memory runs out in the top level")
            << wideTop << "realloc:60000:12" << -1 << false << -1 << false;
    // No latency: many requests at once through FUSE are what counts.
    QTest::newRow("through a file system of its own") << wide << "" << -1 << true << 0 << false;
    // Slow: the read-ahead hands out all it may, more directories than that wait, and one
    // found late takes the turn of one asked for earlier.
    QStringList wider;
    for (int i = 0; i < 30; ++i) {
        for (int j = 0; j < 12; ++j)
            wider << QStringLiteral("share/d%1/s%2/f").arg(i).arg(j);
    }
    QTest::newRow("a share that makes every request wait")
            << wider << "" << -1 << true << 1000 << false;
}

// However many threads read ahead, the run hands on the same list and the
// same lines in the same order as a walk on one thread, down to the fewest
// descriptors the walk needs.
void tst_Program::threadsGiveTheSameRun()
{
    QFETCH(QStringList, tree);
    QFETCH(QString, fault);
    QFETCH(int, openFiles);
    QFETCH(bool, saved);
    QFETCH(int, latencyUs);
    QFETCH(bool, mountedInside);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    if (openFiles >= 0)
        QSKIP("the sanitizers open descriptors of their own as they check (and to read the symbols "
              "their suppressions name), and this limit leaves them none");
#endif
    QString why;
    if (!TestTree::canMake(tree, &why))
        QSKIP(qPrintable(why));

    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add(tree).file(QStringLiteral("share/filelist.sync"), "old\r\n");
    t.rawFile(QStringLiteral("share/d1"), "bad\xff").rawFile(QStringLiteral("share/d2"), "cr\r");
    QString source = QStringLiteral("share");
    QList<const char *> threadCounts{"1", "4", "16"};
#ifdef Q_OS_WIN
    if (latencyUs >= 0)
        QSKIP("slowfs is a FUSE file system: Linux only");
#else
    SlowMount mount;
    if (latencyUs >= 0) {
        t.dir(QStringLiteral("mnt"));
        if (!mount.mount(SlowMount::builtProgram(), t.path(source), t.path(QStringLiteral("mnt")),
                         latencyUs, &why))
            QSKIP(qPrintable(why));
        source = QStringLiteral("mnt");
        threadCounts << "64";
    }
#endif
    QProcessEnvironment env = cleanEnvironment();
    if (!fault.isEmpty()) {
#ifdef Q_OS_WIN
        QSKIP("faults are injected by preloading a library into the program, which Windows does not do");
#else
        env = withFault(env, withRoot({fault}, t.root())[0]);
#endif
    }

    ChildLimits limits;
    limits.openFiles = openFiles;
    if (mountedInside) {
#ifdef Q_OS_WIN
        QSKIP("mount namespaces are Linux's");
#else
        if (::geteuid() != 0 || QProcess::execute(QStringLiteral("unshare"), {"-m", "true"}) != 0)
            QSKIP("a mount namespace of its own needs root and unshare(1)");
        limits.wrapper = QStringList{"unshare", "-m", "sh", "-c",
                                     "mount --bind \"$1\" \"$2\" && shift 2 && exec \"$@\"", "sh",
                                     t.path(source), t.path(QStringLiteral("share/loop"))};
#endif
    }
    QList<QByteArray> lists;
    QList<QStringList> said;
    for (const char *threads : threadCounts) {
        env.insert(QStringLiteral("VORN_FILESYNC_LIST_THREADS"), QString::fromLatin1(threads));
        const RunResult run = runProgram({t.root(), source}, env, limits);
        QCOMPARE(run.exitCode, 0);
        said << run.messages;
        lists << t.read(QStringLiteral("share/filelist.sync"));
        QCOMPARE(lists.last() != "old\r\n", saved);
        t.file(QStringLiteral("share/filelist.sync"), "old\r\n");
    }
    for (qsizetype i = 1; i < lists.size(); ++i) {
        QCOMPARE(said[i], said[0]);
        QCOMPARE(lists[i], lists[0]);
    }
    if (mountedInside)
        QVERIFY(said[0].contains(withRoot({"filelist: not entering <root>/share\\loop: it leads back "
                                           "to <root>/share"},
                                          t.root())[0]));
}

// Runs on one directory take turns: a second run waits while the first is
// held in the middle of its save, and then lists what the first left.
void tst_Program::overlappingRunsTakeTurns()
{
#ifdef Q_OS_WIN
    QSKIP("the runs are held by a library preloaded into them, which Windows does not do");
#else
    QTemporaryDir dir;
    TestTree t(dir.path());
    t.add({"share/f"}).file(QStringLiteral("share/filelist.sync"), "");
    const auto heldInSave = [&t](const QString &gate) {
        return withFault(cleanEnvironment(), QStringLiteral("fsync:")
                                 + t.path(QStringLiteral("share/filelist.sync.new"))
                                 + QStringLiteral(":hold:") + t.path(gate));
    };
    const QList<QByteArray> arguments{QFile::encodeName(t.root()), "share"};

    QProcess second;
    QByteArray secondSaid;
    const RunResult first = runProgram(arguments, heldInSave(QStringLiteral("first")), {},
                                       [&](QProcess &) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(t.path(QStringLiteral("first"))), 10000);
        startProgram(second, arguments, heldInSave(QStringLiteral("second")), {});
        QTRY_VERIFY_WITH_TIMEOUT((secondSaid += second.readAllStandardError()).contains("waiting"),
                                 10000);
        QFile::remove(t.path(QStringLiteral("first")));
    });
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(t.path(QStringLiteral("second"))), 10000);
    const QByteArray firstList = t.read(QStringLiteral("share/filelist.sync"));
    const QString firstTime = QFileInfo(t.path(QStringLiteral("share/filelist.sync")))
                                      .lastModified()
                                      .toString(Qt::ISODate);
    QFile::remove(t.path(QStringLiteral("second")));
    QVERIFY(second.waitForFinished(60000));
    secondSaid += second.readAllStandardError();

    QCOMPARE(first.exitCode, 0);
    const QString saved = QStringLiteral("filelist: saved <root>\\share\\filelist.sync (2 entries: %1 "
                                         "new, 0 changed, 0 gone)");
    QCOMPARE(first.messages, withRoot({"source is <root>\\share", saved.arg(1)}, t.root()));
    QCOMPARE(lines(firstList),
             (QStringList{"f,2013-07-29T14:02:11,1", "filelist.sync,2013-07-29T14:02:11,0"}));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(programLines(secondSaid),
             withRoot({"source is <root>\\share",
                       "filelist: waiting for another run on <root>\\share", saved.arg(0)},
                      t.root()));
    QCOMPARE(lines(t.read(QStringLiteral("share/filelist.sync"))),
             (QStringList{"f,2013-07-29T14:02:11,1",
                          "filelist.sync," + firstTime + "," + QString::number(firstList.size())}));
    QVERIFY(!QFileInfo::exists(t.path(QStringLiteral("share/filelist.sync.new"))));
#endif
}

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
