#pragma once

#include "base/Errors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class PlatformTimer;
class TickSource;
class TimerService;
class TRxTimerList;

// One timer of a timer list: its own interval, on/off switch and repeat policy.
// Owned by whoever created it (the form; or the list, for events made by AddEvent); its
// destructor leaves its list.
class TRxTimerEvent final
{
public:
    explicit TRxTimerEvent(TickSource& ticks);
    ~TRxTimerEvent();

    TRxTimerEvent(const TRxTimerEvent&) = delete;
    TRxTimerEvent& operator=(const TRxTimerEvent&) = delete;

    // Plain field: no side effect.
    bool Cycled() const { return m_cycled; }
    void SetCycled(bool cycled) { m_cycled = cycled; }

    // Switching on restarts the count and the period and re-arms the list; switching off only
    // clears the flag. An equal value does nothing.
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);

    // Milliseconds, never below 100. A new value recomputes the list's period; it counts from
    // the last firing or switch-on. An equal value (compared before the minimum) does nothing.
    std::int32_t Interval() const { return m_interval; }
    void SetInterval(std::int32_t interval);

    // At least 0, or at least 1 while Cycled is false; switches the event off when it has
    // already fired that often.
    std::int32_t RepeatCount() const { return m_repeatCount; }
    void SetRepeatCount(std::int32_t repeatCount);

    // Leaves the current list, then joins the new one (none: stays alone).
    TRxTimerList* ParentList() const { return m_parent; }
    void SetParentList(TRxTimerList* list);

    std::int32_t Handle() const { return m_handle; }
    std::int32_t FireCount() const { return m_fireCount; }
    std::uint32_t LastFireTick() const { return m_lastFireTick; }

    // Called with the event itself as Sender; an error it raises is handed to the list's
    // ErrorHandler.
    std::function<void(TRxTimerEvent& Sender)> OnTimer;

private:
    friend class TRxTimerList;

    TickSource& m_ticks;
    TRxTimerList* m_parent = nullptr;
    bool m_cycled = true;
    bool m_enabled = true;
    bool m_destroying = false;
    std::int32_t m_interval = 1000;
    std::int32_t m_repeatCount = 0;
    std::int32_t m_handle = -1;
    std::int32_t m_fireCount = 0;
    std::uint32_t m_lastFireTick;
};

// The candidate period reduced until it divides every interval (step 5 of RecomputePeriod):
// at the first interval leaving a remainder, the remainder is subtracted and the scan starts
// again; it stops at a full scan without remainder or at 100 ms or less. Not raised to 100.
std::int32_t ReduceTickPeriod(std::int32_t candidate, const std::vector<std::int32_t>& intervals);

// One platform timer serving any number of timer events. Everything runs on the
// user-interface thread; ticks arrive through the TimerService and may nest (a handler that
// pumps the queue receives the list's next ticks inside it).
//
// Periods above 65535 ms are waited in chunks of at most 65535 ms; ServedSpan is the part of
// the period already armed before the current chunk. A tick that ends a chunk other than the
// last (ServedSpan not 0) only arms the next chunk; the tick that ends the last chunk examines
// the events, then starts the next period's chunks. Every RecomputePeriod starts a new period
// (ServedSpan := 0).
class TRxTimerList final
{
public:
    static constexpr std::int32_t kMaxChunk = 65535;
    static constexpr std::int32_t kMinPeriod = 100;
    static constexpr std::int32_t kEarlyTolerance = 50;

    TRxTimerList(TickSource& ticks, TimerService& timers, ErrorHandler errorHandler);
    // StopList; then every event still in the list leaves it, and those the list made are freed.
    ~TRxTimerList();

    TRxTimerList(const TRxTimerList&) = delete;
    TRxTimerList& operator=(const TRxTimerList&) = delete;

    // Loading from the form data: while on, StopList does nothing. EndLoading only clears it.
    void BeginLoading() { m_loading = true; }
    void EndLoading() { m_loading = false; }
    bool Loading() const { return m_loading; }

    // On: creates the TimerWindow, restarts every enabled event's period and arms the timer.
    // Off: destroys the TimerWindow, then OnFinish. Raises EOutOfResources (and stays off)
    // when the platform refuses the timer.
    bool Active() const { return m_active; }
    void SetActive(bool active);

    // Appends an event (after it left any list it was in), hands it the next handle,
    // recomputes, sorts and arms. Returns the handle, or -1 when it could not be appended.
    std::int32_t JoinList(TRxTimerEvent& event);
    // Removes the event (without recomputation) and clears its parent.
    void LeaveList(TRxTimerEvent& event);
    std::int32_t NextHandle() { return ++m_handleCounter; }
    // Creates an event owned by the list; returns its handle, or -1 when it could not be appended.
    std::int32_t AddEvent(std::function<void(TRxTimerEvent&)> onTimer, std::int32_t interval, bool cycled);
    // Removes the first event with that handle; frees it when the list made it (events owned
    // elsewhere are only detached). Recomputes and re-arms while active.
    void RemoveEvent(std::int32_t handle);
    int CountEnabled() const;
    // Active := false, except while loading.
    void StopList();

    // The period that suits every enabled event at tick `now` (0: none): at most the shortest
    // time any enabled event still has to wait, at least 100 ms, as a rule a divisor of every interval.
    void RecomputePeriod(std::uint32_t now);
    // Stable by Interval, ascending.
    void SortByInterval();
    // Arms the timer with the current period (or its next chunk); stops the list when nothing
    // is left to time. Raises EOutOfResources when the platform refuses the timer.
    void ArmTimer();

    const std::vector<TRxTimerEvent*>& Events() const { return m_events; }
    std::int32_t TickPeriod() const { return m_tickPeriod; }
    std::int32_t ServedSpan() const { return m_servedSpan; }
    std::int32_t HandleCounter() const { return m_handleCounter; }
    bool HasTimerWindow() const { return m_timerWindow != nullptr; }

    std::function<void(TRxTimerList& Sender)> OnFinish;
    // TAllTimersEvent: after every event's own OnTimer, with that event's Handle.
    std::function<void(TRxTimerList& Sender, std::int32_t Handle)> OnTimers;

private:
    void Tick();
    bool RunDueEvents();
    // Tells the timer that no tick is wanted before the first moment an enabled event can be due,
    // so that it may sleep through the ticks in between; which ticks fire events does not change.
    void SleepUntilDue();
    void ReportError(const std::exception& error);

    TickSource& m_ticks;
    TimerService& m_timers;
    ErrorHandler m_errorHandler;
    std::vector<TRxTimerEvent*> m_events;
    std::vector<std::unique_ptr<TRxTimerEvent>> m_ownEvents;
    std::unique_ptr<PlatformTimer> m_timerWindow;
    bool m_active = false;
    bool m_loading = false;
    std::int32_t m_tickPeriod = 0;
    std::int32_t m_handleCounter = 0;
    std::int32_t m_servedSpan = 0;
};
