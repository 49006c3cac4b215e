// SPDX-FileCopyrightText: 2026 vorn_filesync_list developers
// SPDX-License-Identifier: GPL-2.0-or-later
#include "stopsignals.h"

#include "listrun.h"

#include <atomic>
#include <csignal>

namespace {

constexpr int Caught[] = {SIGTERM, SIGINT, SIGHUP};

// Well within the second a service manager gives before it kills.
constexpr int Interval = 100;

volatile std::sig_atomic_t stopAsked = 0;
std::atomic<ListRun *> runHere{nullptr};

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    struct sigaction action = {};
    action.sa_handler = &StopSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : Caught) {
        struct sigaction old = {};
        if (::sigaction(number, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            ::sigaction(number, &action, nullptr);
    }
    startTimer(Interval);
}

StopSignals::~StopSignals()
{
    for (const int number : Caught) {
        struct sigaction old = {};
        if (::sigaction(number, nullptr, &old) == 0 && old.sa_handler == &StopSignals::handle)
            ::signal(number, SIG_IGN);
    }
}

void StopSignals::handle(int)
{
    stopAsked = 1;
    if (ListRun *run = runHere.load())
        run->cancelFromSignal();
}

void StopSignals::cancelDirectly(ListRun *run)
{
    static_assert(std::atomic<ListRun *>::is_always_lock_free);
    runHere.store(run);
    // A stop that came before the run began would wait for the timer.
    if (run && stopAsked)
        run->cancel();
}

void StopSignals::timerEvent(QTimerEvent *)
{
    if (!stopAsked)
        return;
    stopAsked = 0;
    emit received();
}
