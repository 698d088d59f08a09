#pragma once

#include "components/FormTimers.h"
#include "components/TimerLst.h"
#include "tests/fakes/FakeTickSource.h"
#include "tests/fakes/FakeTimerService.h"

#include <QStringList>

// The program's five timer events for a simulated hour on fake time: the watcher switching itself
// off and on around work that takes time, queries armed and ended, the mail check armed and
// disarmed and waiting for replies inside its handler (ticks nest there). Returns every firing as
// "milliseconds handle depth"; delivered receives the ticks the timer delivered. With sleep, the
// timer sleeps through the ticks the list says no event wants.
inline QStringList SimulateProgramHour(bool sleep, int& delivered)
{
    constexpr std::uint32_t Start = 100000;
    FakeTickSource ticks(Start);
    FakeTimerService timers(&ticks);
    timers.honourSleep = sleep;
    TRxTimerList list(ticks, timers, [](const std::exception&) {});
    TRxTimerEvent pump(ticks), watcher(ticks), timeout(ticks), mail(ticks), deadline(ticks);
    LoadFormTimers(list, pump, watcher, timeout, mail, deadline);

    QStringList trace;
    int depth = 0;
    int watcherTicks = 0;
    const auto record = [&](TRxTimerEvent& e) {
        trace << QStringLiteral("%1 %2 %3").arg(ticks.TickCount() - Start).arg(e.Handle()).arg(depth);
    };
    pump.OnTimer = record;
    watcher.OnTimer = [&](TRxTimerEvent& e) {
        record(e);
        e.SetEnabled(false);
        ++watcherTicks;
        ticks.Advance(60); // the period restarts off the other events' beat
        if (watcherTicks % 7 == 0)
            timeout.SetEnabled(true); // a query starts
        if (watcherTicks % 7 == 2)
            timeout.SetEnabled(false); // most replies come before the time-out
        e.SetEnabled(true);
    };
    timeout.OnTimer = record;
    mail.OnTimer = [&](TRxTimerEvent& e) {
        record(e);
        deadline.SetInterval(20000);
        deadline.SetEnabled(true);
        ++depth;
        delivered += timers.Elapse(watcherTicks % 2 ? 1700 : 20300); // a reply, or the deadline inside the wait
        --depth;
    };
    deadline.OnTimer = record;
    for (int minute = 0; minute < 60; ++minute) {
        if (minute == 2) {
            mail.SetInterval(3 * 60000);
            mail.SetEnabled(true);
        }
        if (minute == 31)
            mail.SetEnabled(false);
        if (minute == 40) {
            mail.SetInterval(60000);
            mail.SetEnabled(true);
        }
        delivered += timers.Elapse(60000);
    }
    return trace;
}
