// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>

class ListRun;
class QTimerEvent;

// SIGTERM, SIGINT and SIGHUP (a service stop, Ctrl-C, a closed terminal)
// would end the program where it stands and leave its new list file behind,
// which the next run would have to clear away. Caught here, each becomes
// received() on the thread that made this object, soon after. The handler
// only sets a flag, about all a signal handler may safely do, and a timer
// looks at it: a pipe to wake the event loop would cost two descriptors, and
// the walk's descriptors are counted. A signal the program was started with
// ignored (nohup) stays ignored. One object per process.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    // From then on these signals are ignored: the program is ending anyway,
    // and what is left to do is to clean up.
    ~StopSignals() override;

    // While the run goes on on the thread that would handle received() (no
    // other could start), a stop cancels it from the handler; null ends that.
    static void cancelDirectly(ListRun *run);

signals:
    void received();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    static void handle(int signal);
};
