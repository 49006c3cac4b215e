// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "vorn_filesync_listdialog.h"

#include "listrun.h"
#include "messages.h"
#include "programrules.h"
#include "sourcedirectory.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QTimerEvent>

#include <exception>

namespace {

QString statusText(ListRun::Outcome outcome)
{
    switch (outcome) {
    case ListRun::Outcome::Saved:
        return QStringLiteral("Saved");
    case ListRun::Outcome::SaveFailed:
        return QStringLiteral("Save Failed (share read only?)");
    case ListRun::Outcome::Failed:
    case ListRun::Outcome::Cancelled:
    case ListRun::Outcome::HeldBack:
        break;
    }
    return QStringLiteral("Fail");
}

// Thousands grouped by commas whatever the user's locale; the estimate only
// where there is an old list to go by.
QString progressText(qint64 entries, int percent)
{
    QLocale c = QLocale::c();
    c.setNumberOptions({});
    QString text = QStringLiteral("Listing\u2026 ") + c.toString(entries) + QStringLiteral(" entries");
    if (percent >= 0)
        text += QStringLiteral(" (about %1 %)").arg(percent);
    return text;
}

// Often enough to look alive, rarely enough to cost nothing.
constexpr int ProgressInterval = 250;
// How long the outcome stays on show.
constexpr int CloseDelay = 2000;

} // namespace

vorn_filesync_listDialog::vorn_filesync_listDialog(QWidget *parent, const char *name, bool modal,
                                                   Qt::WindowFlags fl)
    : vorn_filesync_listDialogBase(parent, name, modal, fl)
{
    startTimerId = startTimer(1);
}

vorn_filesync_listDialog::~vorn_filesync_listDialog()
{
    if (!worker.joinable())
        return;
    listRun->cancel();
    worker.join();
}

void vorn_filesync_listDialog::reject()
{
    closing = true;
    if (listRun)
        listRun->cancel();
    QDialog::reject();
}

void vorn_filesync_listDialog::timerEvent(QTimerEvent *event)
{
    const int id = event->timerId();
    if (id == progressTimerId) {
        if (runEnded.load(std::memory_order_acquire)) {
            finish();
            return;
        }
        status->setText(listRun->isWaiting() ? QStringLiteral("Waiting for another run\u2026")
                                             : progressText(listRun->entriesListed(),
                                                            listRun->estimatedPercent()));
        return;
    }
    killTimer(id);
    if (id == startTimerId) {
        // Cleared first: the close timer may be handed the same id.
        startTimerId = 0;
        generate();
    } else if (id == closeTimerId) {
        accept();
    }
}

std::optional<ListRun::Outcome> vorn_filesync_listDialog::outcome()
{
    if (worker.joinable())
        worker.join();
    // Closed before the run began.
    if (!m_outcome && !m_wrongArgumentCount)
        return ListRun::Outcome::Cancelled;
    return m_outcome;
}

void vorn_filesync_listDialog::generate()
{
    const std::optional<SourceDirectory> source = sourceDirectory(commandLine());
    if (!source) {
        m_wrongArgumentCount = true;
        reject();
        return;
    }
    const QString dir = source->path();
    debugLine(Message::sourceIs(dir));
    showPath(dir);

    if (!source->isConfigured() || !source->isText()) {
        // The separator alone would walk the whole file system and write to
        // its root; a decoded source that is not text would name another
        // directory. Neither is listed.
        refuse(source->isConfigured() ? Message::notText(dir) : Message::notConfigured());
        return;
    }
    const QString emptyPiece = source->emptyPieceLine();
    if (!emptyPiece.isEmpty())
        debugLine(emptyPiece);
    QString problem;
    const std::optional<RunSettings> settings = runSettings(&problem);
    if (!settings) {
        refuse(problem);
        return;
    }
    listRun = std::make_unique<ListRun>(dir.toUtf8(), walkThreads(), *settings);
    status->setText(progressText(0, -1));
    progressTimerId = startTimer(ProgressInterval);
    // The run's thread only sets the outcome and says it is done; the
    // progress timer finds that out, so that nothing of Qt's is touched from
    // that thread.
    try {
        worker = std::thread([this] {
            m_outcome = listRun->run();
            runEnded.store(true, std::memory_order_release);
        });
    } catch (const std::exception &) {
        // No thread to be had: the run happens here, and the window waits.
        if (m_runningHere)
            m_runningHere(listRun.get());
        m_outcome = listRun->run();
        if (m_runningHere)
            m_runningHere(nullptr);
        finish();
    }
}

// Nothing is walked or written.
void vorn_filesync_listDialog::refuse(const QString &why)
{
    debugLine(why);
    debugLine(Message::notSavedTree());
    m_outcome = ListRun::Outcome::Failed;
    status->setText(QStringLiteral("Fail"));
    closeTimerId = startTimer(CloseDelay);
}

// The whole path as the tooltip; the window widens for it as far as the
// screen it is on allows, and stays on that screen.
void vorn_filesync_listDialog::showPath(const QString &dir)
{
    path->setText(dir);
    path->setToolTip(dir);
    const QScreen *shownOn = screen();
    if (!shownOn)
        return;
    const QRect room = shownOn->availableGeometry();
    const QSize frame = frameGeometry().size() - size();
    resize(qMin(qMax(width(), sizeHint().width()), room.width() - frame.width()), height());
    QRect placed = frameGeometry();
    placed.moveRight(qMin(placed.right(), room.right()));
    placed.moveLeft(qMax(placed.left(), room.left()));
    move(placed.topLeft());
}

void vorn_filesync_listDialog::finish()
{
    if (worker.joinable())
        worker.join();
    killTimer(progressTimerId);
    progressTimerId = 0;
    // A closed window shows nothing more.
    if (closing)
        return;
    status->setText(statusText(*m_outcome));
    closeTimerId = startTimer(CloseDelay);
}
