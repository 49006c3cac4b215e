// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "listrun.h"
#include "vorn_filesync_listdialogbase.h"

#include <QByteArray>
#include <QList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QTimerEvent;

// The working window. Shortly after it is shown it lists the source directory
// into its sync list file on a thread of its own, shows the directory, how
// many entries are listed so far and then the outcome, and accepts itself two
// seconds after the end; a command line with too many arguments rejects it at
// once. Closing it while the list is made cancels the run, which keeps the
// previous list; the window closes at once, whatever the run is waiting for,
// and the run's thread cleans up on its own. The window waits for that only
// when it goes away or is asked how the run went. Everything but the run's
// own ListRun calls happens on the window's thread.
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
    // How the run went, once the window has closed; it waits for a run still
    // cleaning up after a cancel. Empty when the argument count was wrong and
    // nothing ran; Cancelled when the window closed before the run began.
    std::optional<ListRun::Outcome> outcome();

    // Told the run before it goes on on the window's own thread, as no other
    // could start, and null once it is over: only a direct way reaches it then.
    void setRunningHere(std::function<void(ListRun *)> told) { m_runningHere = std::move(told); }

protected:
    void timerEvent(QTimerEvent *event) override;
    // The arguments the source directory is taken from, program name first.
    virtual QList<QByteArray> commandLine() const { return m_commandLine; }

private:
    void generate();
    // Ends the run before it began, with the line that says why.
    void refuse(const QString &why);
    void showPath(const QString &dir);
    void finish();

    std::unique_ptr<ListRun> listRun;
    std::thread worker;
    bool closing = false;
    int startTimerId = 0;
    int progressTimerId = 0;
    int closeTimerId = 0;
    QList<QByteArray> m_commandLine;
    // Set by the run's thread, and read only once it is joined.
    std::optional<ListRun::Outcome> m_outcome;
    std::atomic<bool> runEnded{false};
    bool m_wrongArgumentCount = false;
    std::function<void(ListRun *)> m_runningHere;
};
