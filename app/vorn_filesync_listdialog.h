// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "listrun.h"
#include "vorn_filesync_listdialogbase.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <thread>

class QTimerEvent;

// The working window. Shortly after it is shown it lists the source directory
// into its sync list file on a thread of its own, shows the directory, how
// many entries are listed so far and then the outcome, and accepts itself two
// seconds after the end; a command line with too many arguments rejects it at
// once. Closing it while the list is made cancels the run, which keeps the
// previous list; the window closes at once, whatever the run is waiting for,
// and the run's thread cleans up on its own. The window waits for that only
// when it goes away.
class vorn_filesync_listDialog : public vorn_filesync_listDialogBase
{
    Q_OBJECT

public:
    explicit vorn_filesync_listDialog(QWidget *parent = nullptr, const char *name = nullptr,
                                      bool modal = false, Qt::WindowFlags fl = {});
    ~vorn_filesync_listDialog() override;

    void reject() override;

    // The program's arguments as the bytes it was given, program name first,
    // Qt's own options taken out.
    void setCommandLine(const QList<QByteArray> &arguments) { m_commandLine = arguments; }

protected:
    void timerEvent(QTimerEvent *event) override;
    // The arguments the source directory is taken from, program name first.
    virtual QList<QByteArray> commandLine() const { return m_commandLine; }

private:
    void generate();
    void finish(ListRun::Outcome outcome);

    std::unique_ptr<ListRun> listRun;
    std::thread worker;
    bool closing = false;
    int startTimerId = 0;
    int progressTimerId = 0;
    int closeTimerId = 0;
    QList<QByteArray> m_commandLine;
};
