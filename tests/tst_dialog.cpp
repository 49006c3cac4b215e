// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "testtree.h"
#include "vorn_filesync_listdialog.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifndef Q_OS_WIN
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

// The window: its form, and the run it performs on its own.
class tst_Dialog : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void objectName_data();
    void objectName();
    void initialSize_data();
    void initialSize();
    void metaObject();
    void languageChangeResetsTexts();
    void run_data();
    void run();
    void wrongArgumentCountRejectsAtOnce();
    void closingCancels_data();
    void closingCancels();
};

namespace {

// Takes its command line from the test and notes when the run asked for it.
class TestDialog : public vorn_filesync_listDialog
{
public:
    explicit TestDialog(const QStringList &arguments)
        : vorn_filesync_listDialog(nullptr, nullptr, true)
    {
        for (const QString &argument : arguments)
            m_arguments << argument.toUtf8();
    }

    QLabel *label(const char *name) { return findChild<QLabel *>(QLatin1String(name)); }

    mutable int runs = 0;
    mutable QElapsedTimer sinceRun;

protected:
    QList<QByteArray> commandLine() const override
    {
        ++runs;
        sinceRun.start();
        return m_arguments;
    }

private:
    QList<QByteArray> m_arguments;
};

} // namespace

void tst_Dialog::form()
{
    vorn_filesync_listDialogBase form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Generate  File Sync List"));
    QVERIFY(form.isSizeGripEnabled());
    QVERIFY(!form.isModal());

    auto *group = form.findChild<QGroupBox *>(QStringLiteral("buttonGroup1"));
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("Path"));
    for (const char *name : {"path", "status"}) {
        auto *label = form.findChild<QLabel *>(QLatin1String(name));
        QVERIFY(label);
        QCOMPARE(label->parentWidget(), group);
        QVERIFY(label->text().isNull());
    }

    auto *top = qobject_cast<QVBoxLayout *>(form.layout());
    QVERIFY(top);
    QCOMPARE(top->objectName(), QStringLiteral("vorn_filesync_listDialogBaseLayout"));
    QCOMPARE(top->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(top->spacing(), 6);
    QCOMPARE(top->count(), 2);
    QCOMPARE(top->itemAt(0)->widget(), group);
    QSpacerItem *spacer = top->itemAt(1)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(20, 40));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    auto *inner = qobject_cast<QVBoxLayout *>(group->layout());
    QVERIFY(inner);
    QCOMPARE(inner->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(inner->spacing(), 6);
    QCOMPARE(inner->count(), 1);
    auto *row = qobject_cast<QHBoxLayout *>(inner->itemAt(0)->layout());
    QVERIFY(row);
    QCOMPARE(row->alignment(), Qt::AlignTop);
    QCOMPARE(row->spacing(), 6);
    QCOMPARE(row->count(), 2);
    QCOMPARE(row->itemAt(0)->widget()->objectName(), QStringLiteral("path"));
    QCOMPARE(row->itemAt(1)->widget()->objectName(), QStringLiteral("status"));
}

void tst_Dialog::objectName_data()
{
    QTest::addColumn<bool>("working");
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("form, no name") << false << QByteArray() << "vorn_filesync_listDialogBase";
    QTest::newRow("form, named") << false << QByteArray("mine") << "mine";
    QTest::newRow("working dialog, no name") << true << QByteArray()
                                             << "vorn_filesync_listDialogBase";
}

void tst_Dialog::objectName()
{
    QFETCH(bool, working);
    QFETCH(QByteArray, given);
    QFETCH(QString, expected);
    const char *name = given.isNull() ? nullptr : given.constData();
    std::unique_ptr<QDialog> dialog;
    if (working)
        dialog = std::make_unique<vorn_filesync_listDialog>(nullptr, name, true);
    else
        dialog = std::make_unique<vorn_filesync_listDialogBase>(nullptr, name, true);
    QCOMPARE(dialog->objectName(), expected);
    QVERIFY(dialog->isModal());
}

void tst_Dialog::initialSize_data()
{
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("hintWins");
    QTest::newRow("tiny font: 525 x 77") << 1 << false;
    QTest::newRow("huge font: the hint's height") << 90 << true;
}

// 525 x 77 unless the minimum size hint is larger, per direction.
void tst_Dialog::initialSize()
{
    QFETCH(int, pixelSize);
    QFETCH(bool, hintWins);
    const QFont saved = QApplication::font();
    QFont font = saved;
    font.setPixelSize(pixelSize);
    QApplication::setFont(font);
    vorn_filesync_listDialogBase form;
    QApplication::setFont(saved);

    const QSize hint = form.minimumSizeHint();
    QVERIFY(hint.width() < 525);
    QCOMPARE(hint.height() > 77, hintWins);
    QCOMPARE(form.size(), QSize(525, hintWins ? hint.height() : 77));
}

void tst_Dialog::metaObject()
{
    const QMetaObject *base = &vorn_filesync_listDialogBase::staticMetaObject;
    QCOMPARE(base->className(), "vorn_filesync_listDialogBase");
    QCOMPARE(base->superClass(), &QDialog::staticMetaObject);
    QCOMPARE(base->methodCount() - base->methodOffset(), 1);
    const QMetaMethod slot = base->method(base->methodOffset());
    QCOMPARE(slot.methodSignature(), QByteArray("languageChange()"));
    QCOMPARE(slot.methodType(), QMetaMethod::Slot);
    QCOMPARE(slot.access(), QMetaMethod::Protected);
    QCOMPARE(base->propertyCount() - base->propertyOffset(), 0);
    QCOMPARE(base->enumeratorCount() - base->enumeratorOffset(), 0);
    QCOMPARE(base->classInfoCount() - base->classInfoOffset(), 0);

    const QMetaObject *working = &vorn_filesync_listDialog::staticMetaObject;
    QCOMPARE(working->className(), "vorn_filesync_listDialog");
    QCOMPARE(working->superClass(), base);
    QCOMPARE(working->methodCount() - working->methodOffset(), 0);
    QCOMPARE(working->propertyCount() - working->propertyOffset(), 0);

    vorn_filesync_listDialog dialog;
    QObject *object = &dialog;
    QCOMPARE(object->qt_metacast("vorn_filesync_listDialog"), static_cast<void *>(&dialog));
    QCOMPARE(qobject_cast<vorn_filesync_listDialogBase *>(object),
             static_cast<vorn_filesync_listDialogBase *>(&dialog));
    QCOMPARE(qobject_cast<QDialog *>(object), static_cast<QDialog *>(&dialog));
    vorn_filesync_listDialogBase form;
    QCOMPARE(qobject_cast<vorn_filesync_listDialog *>(&form), nullptr);
}

void tst_Dialog::languageChangeResetsTexts()
{
    vorn_filesync_listDialogBase form;
    form.setWindowTitle(QStringLiteral("other"));
    auto *path = form.findChild<QLabel *>(QStringLiteral("path"));
    path->setText(QStringLiteral("/somewhere"));
    QVERIFY(QMetaObject::invokeMethod(&form, "languageChange"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Generate  File Sync List"));
    QVERIFY(path->text().isEmpty());

    path->setText(QStringLiteral("/somewhere"));
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(&form, &change);
    QVERIFY(path->text().isEmpty());
}

void tst_Dialog::run_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("arguments"); // <root> stands for the temporary tree
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("listWritten");

    QTest::newRow("saved") << QStringList{"share/f"} << QStringList{"<root>", "share"}
                           << "<root>\\share" << "Saved" << true;
    QTest::newRow("missing source") << QStringList{"share/f"} << QStringList{"<root>", "gone"}
                                    << "<root>\\gone" << "Fail" << false;
    QTest::newRow("list file cannot be written")
            << QStringList{"share/f", "share/filelist.sync.new/"} << QStringList{"<root>", "share"}
            << "<root>\\share" << "Save Failed (share read only?)" << false;
    QTest::newRow("nothing configured") << QStringList{} << QStringList{"", ""} << "\\" << "Fail"
                                        << false;
    // Only the old list left, which a guard keeps.
    QTest::newRow("held back") << QStringList{"share/filelist.sync"} << QStringList{"<root>", "share"}
                               << "<root>\\share" << "Fail" << true;
    // Far wider than the screen at any font: it must not push the outcome off it.
    const QString longName(200, u'n');
    QTest::newRow("a path wider than the screen")
            << QStringList{"share/" + longName + "/f"} << QStringList{"<root>/share", longName}
            << "<root>/share\\" + longName << "Saved" << true;
}

// The run happens once, shows the directory and the outcome, and the dialog
// accepts itself two seconds later.
void tst_Dialog::run()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QFETCH(QString, status);
    QFETCH(bool, listWritten);

    QTemporaryDir dir;
    TestTree(dir.path()).add(tree);
    arguments = withRoot(arguments, dir.path());
    path = withRoot({path}, dir.path()).constFirst();

    DebugMessages messages;
    TestDialog dialog(QStringList{QStringLiteral("vorn_filesync_list")} + arguments);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QVERIFY(finished.wait(10000));
    const qint64 shownFor = dialog.sinceRun.elapsed();

    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QVERIFY2(shownFor >= 1900 && shownFor < 6000, qPrintable(QString::number(shownFor)));
    QCOMPARE(dialog.runs, 1);
    QCOMPARE(dialog.label("path")->text(), path);
    QCOMPARE(dialog.label("path")->toolTip(), path);
    QCOMPARE(dialog.label("status")->text(), status);
    QVERIFY(dialog.screen()->availableGeometry().contains(dialog.frameGeometry()));
    QCOMPARE(messages.take().count(QStringLiteral("source is ") + path), 1);
    QCOMPARE(QFileInfo(path + QStringLiteral("/filelist.sync")).isFile(), listWritten);
}

void tst_Dialog::wrongArgumentCountRejectsAtOnce()
{
    QTemporaryDir dir;
    DebugMessages messages;
    TestDialog dialog({QStringLiteral("vorn_filesync_list"), dir.path(), QStringLiteral("a"),
                       QStringLiteral("b")});
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    QVERIFY(dialog.sinceRun.elapsed() < 1000);
    QCOMPARE(messages.take(), QStringList{});
    QVERIFY(dialog.label("path")->text().isEmpty());
    QVERIFY(dialog.label("status")->text().isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
}

void tst_Dialog::closingCancels_data()
{
    QTest::addColumn<QString>("during");
    QTest::addColumn<bool>("oldList"); // and so an estimate of how far along the walk is
    QTest::addColumn<QStringList>("said"); // after "source is"

    const QString cancelled = QStringLiteral("filelist: cancelled, the previous list is kept");
    QTest::newRow("a long walk") << "walk" << true << QStringList{cancelled};
    QTest::newRow("a long walk, no list yet") << "walk" << false << QStringList{cancelled};
    QTest::newRow("a directory read that stalls") << "stall" << true << QStringList{cancelled};
    QTest::newRow("the wait for another run")
            << "another run" << true
            << QStringList{"filelist: waiting for another run on <root>\\share", cancelled};
}

// The window keeps showing what the run does, and closing it closes it at
// once, whatever the run waits for; the run then cleans up on its own, and
// the previous list stays as it was.
void tst_Dialog::closingCancels()
{
    QFETCH(QString, during);
    QFETCH(bool, oldList);
    QFETCH(QStringList, said);
    // Every level links ten times to the next, so a few hundred names are
    // walked as more than two million entries.
    QString why;
    if (!TestTree::canMake({QStringLiteral("x -> l1")}, &why))
        QSKIP(qPrintable(why));
    QTemporaryDir dir;
    TestTree tree(dir.path() + QStringLiteral("/share"));
    for (int level = 0; level < 4; ++level) {
        for (int link = 0; link < 10; ++link)
            tree.link(QStringLiteral("l%1/x%2").arg(level).arg(link),
                      QStringLiteral("../l%1").arg(level + 1));
    }
    for (int file = 0; file < 200; ++file)
        tree.file(QStringLiteral("l4/f%1").arg(file));
    // Far smaller than the new list will be: the estimate stops short of done.
    const QByteArray previous = oldList ? "old,2013-07-29T14:02:11,1\r\n" : "<missing>";
    if (oldList)
        tree.file(QStringLiteral("filelist.sync"), previous);

    const QString gate = dir.path() + QStringLiteral("/gate");
#ifdef Q_OS_WIN
    if (during != QLatin1String("walk"))
        QSKIP("a stalled read and another run's lock are made by POSIX means here");
#else
    using SetFault = void (*)(const char *);
    const auto setFault = reinterpret_cast<SetFault>(dlsym(RTLD_DEFAULT, "vorn_fault"));
    if (during == QLatin1String("stall")) {
        if (!setFault)
            QSKIP("the fault injector is not preloaded into this test, as ctest preloads it");
        setFault(qPrintable(QStringLiteral("getdents64:") + tree.path(QStringLiteral("l4"))
                            + QStringLiteral(":hold:") + gate));
    }
    const int held = during == QLatin1String("another run")
            ? ::open(QFile::encodeName(tree.root()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
            : -1;
    if (held >= 0)
        QCOMPARE(::flock(held, LOCK_EX), 0);
#endif

    DebugMessages messages;
    auto dialog = std::make_unique<TestDialog>(
            QStringList{QStringLiteral("vorn_filesync_list"), dir.path(), QStringLiteral("share")});
    QSignalSpy finished(dialog.get(), &QDialog::finished);
    dialog->show();
    if (during == QLatin1String("walk")) {
        QStringList seen;
        for (int i = 0; i < 500 && seen.size() < 3 && finished.isEmpty(); ++i) {
            QTest::qWait(10);
            const QString text = dialog->label("status")->text();
            if (!text.isEmpty() && !seen.contains(text))
                seen << text;
        }
        QCOMPARE(seen.size(), 3);
        const QRegularExpression progress(QStringLiteral(
                "^Listing\u2026 \\d{1,3}(,\\d{3})* entries( \\(about (\\d+) %\\))?$"));
        int estimates = 0;
        for (const QString &text : seen) {
            const QRegularExpressionMatch match = progress.match(text);
            QVERIFY2(match.hasMatch(), qPrintable(text));
            if (match.hasCaptured(3)) {
                ++estimates;
                QVERIFY2(match.captured(3).toInt() <= 99, qPrintable(text));
            }
        }
        QCOMPARE(estimates > 0, oldList);
    } else if (during == QLatin1String("stall")) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(gate), 10000);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(dialog->label("status")->text(),
                                  QStringLiteral("Waiting for another run\u2026"), 10000);
    }
    QCOMPARE(finished.size(), 0);

    dialog->close();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    // Still there: the window closed while the read stalled.
    if (during == QLatin1String("stall"))
        QVERIFY(QFile::remove(gate));
    dialog.reset();
#ifndef Q_OS_WIN
    if (held >= 0)
        ::close(held);
    if (setFault)
        setFault(nullptr);
#endif
    QCOMPARE(tree.read(QStringLiteral("filelist.sync")), previous);
    QVERIFY(!QFileInfo::exists(tree.path(QStringLiteral("filelist.sync.new"))));
    QCOMPARE(messages.take(), QStringList{QStringLiteral("source is ") + tree.root()}
                     + withRoot(said, dir.path()));
}

QTEST_MAIN(tst_Dialog)
#include "tst_dialog.moc"
