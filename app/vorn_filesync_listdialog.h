// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "vorn_filesync_listdialogbase.h"

#include <QByteArray>
#include <QList>

class QTimerEvent;

// The working window. Shortly after it is shown it lists the source directory
// into its sync list file, shows the directory and the outcome, and accepts
// itself two seconds later; a command line with too many arguments rejects
// it at once. Everything happens inside one timer event, so the window shows
// only the final outcome. main hands over the command line before the event
// loop runs.
class vorn_filesync_listDialog : public vorn_filesync_listDialogBase
{
    Q_OBJECT

public:
    explicit vorn_filesync_listDialog(QWidget *parent = nullptr, const char *name = nullptr,
                                      bool modal = false, Qt::WindowFlags fl = {});

    // The program's arguments as the bytes it was given, program name first,
    // Qt's own options taken out.
    void setCommandLine(const QList<QByteArray> &arguments) { m_commandLine = arguments; }

protected:
    void timerEvent(QTimerEvent *event) override;
    // The arguments the source directory is taken from, program name first.
    virtual QList<QByteArray> commandLine() const { return m_commandLine; }

private:
    void generate();

    int startTimerId = 0;
    int closeTimerId = 0;
    QList<QByteArray> m_commandLine;
};
