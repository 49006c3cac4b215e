// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "vorn_filesync_listdialog.h"

#include "filelist.h"
#include "listfile.h"
#include "sourcedirectory.h"

#include <QDebug>
#include <QDir>
#include <QLabel>
#include <QTimerEvent>

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

void vorn_filesync_listDialog::generate()
{
    const std::optional<SourceDirectory> source = sourceDirectory(commandLine());
    if (!source) {
        reject();
        return;
    }
    const QString dir = source->path();
    qDebug().noquote() << QStringLiteral("source is ") + dir;
    path->setText(dir);

    if (!source->isConfigured()) {
        // The separator alone would walk the whole file system and write to its root.
        qDebug().noquote() << QStringLiteral(
                "no source directory configured: both parts of the source are empty");
        status->setText(QStringLiteral("Fail"));
    } else if (!source->isText()) {
        // Decoded, the source would name another directory; never list that.
        qDebug().noquote() << QStringLiteral("no source directory: the source is not valid text: ")
                        + dir;
        status->setText(QStringLiteral("Fail"));
    } else {
        FileList list;
        list.setExcludes(excludedNames());
        list.scan(dir, QString());
        if (list.pathExists()) {
            status->setText(QStringLiteral("Generated"));
            const QString listFile = dir + QDir::separator() + QStringLiteral("filelist.sync");
            status->setText(publishListFile(list, listFile)
                                    ? QStringLiteral("Saved")
                                    : QStringLiteral("Save Failed (share read only?)"));
        } else {
            status->setText(QStringLiteral("Fail"));
        }
    }
    closeTimerId = startTimer(2000);
}
