// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "vorn_filesync_listdialog.h"

#include "listrun.h"
#include "sourcedirectory.h"
#include "walknotice.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTimerEvent>

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
        break;
    }
    return QStringLiteral("Fail");
}

} // namespace

vorn_filesync_listDialog::vorn_filesync_listDialog(QWidget *parent, const char *name, bool modal,
                                                   Qt::WindowFlags fl)
    : vorn_filesync_listDialogBase(parent, name, modal, fl)
{
    startTimerId = startTimer(1);
}

void vorn_filesync_listDialog::timerEvent(QTimerEvent *event)
{
    const int id = event->timerId();
    killTimer(id);
    if (id == startTimerId) {
        // Cleared first: the close timer may be handed the same id.
        startTimerId = 0;
        generate();
    } else if (id == closeTimerId) {
        accept();
    }
}

QStringList vorn_filesync_listDialog::commandLine() const
{
    return QCoreApplication::arguments();
}

void vorn_filesync_listDialog::generate()
{
    const std::optional<SourceDirectory> source = sourceDirectory(commandLine());
    if (!source) {
        reject();
        return;
    }
    const QString dir = source->path();
    debugLine(QStringLiteral("source is ") + dir);
    path->setText(dir);

    if (!source->isConfigured()) {
        // The separator alone would walk the whole file system and write to its root.
        debugLine(QStringLiteral("no source directory configured: both parts of the source are empty"));
        status->setText(QStringLiteral("Fail"));
    } else {
        status->setText(statusText(ListRun(dir.toUtf8()).run()));
    }
    closeTimerId = startTimer(2000);
}
