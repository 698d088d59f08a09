#include "components/TimerLst.h"

#include "platform/TickSource.h"
#include "platform/TimerService.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace {

constexpr std::int32_t kNoPeriod = std::numeric_limits<std::int32_t>::max();

// Milliseconds from `since` to `now` in wrap-around arithmetic, as a signed value.
std::int64_t Elapsed(std::uint32_t now, std::uint32_t since)
{
    return static_cast<std::int32_t>(now - since);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TRxTimerEvent

TRxTimerEvent::TRxTimerEvent(TickSource& ticks)
    : m_ticks(ticks)
    , m_lastFireTick(ticks.TickCount())
{ }

TRxTimerEvent::~TRxTimerEvent()
{
    m_destroying = true;
    if (m_parent)
        m_parent->LeaveList(*this);
}

void TRxTimerEvent::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        return;
    const std::uint32_t now = m_ticks.TickCount();
    m_fireCount = 0;
    m_lastFireTick = now;
    if (m_parent) {
        m_parent->RecomputePeriod(now);
        m_parent->ArmTimer();
    }
}

void TRxTimerEvent::SetInterval(std::int32_t interval)
{
    if (interval == m_interval)
        return;
    m_interval = std::max(interval, TRxTimerList::kMinPeriod);
    if (m_parent) {
        m_parent->RecomputePeriod(m_ticks.TickCount());
        m_parent->ArmTimer();
    }
}

void TRxTimerEvent::SetRepeatCount(std::int32_t repeatCount)
{
    if (repeatCount == m_repeatCount)
        return;
    repeatCount = std::max(repeatCount, m_cycled ? 0 : 1);
    if (m_enabled && m_fireCount >= repeatCount)
        SetEnabled(false);
    m_repeatCount = repeatCount;
}

void TRxTimerEvent::SetParentList(TRxTimerList* list)
{
    if (m_parent)
        m_parent->LeaveList(*this);
    if (list)
        list->JoinList(*this);
}

// ---------------------------------------------------------------------------------------------
// Period arithmetic

std::int32_t ReduceTickPeriod(std::int32_t candidate, const std::vector<std::int32_t>& intervals)
{
    std::int32_t period = candidate;
    bool again = period > 0;
    while (again) {
        again = false;
        for (const std::int32_t interval : intervals) {
            const std::int32_t remainder = interval % period;
            if (remainder != 0) {
                period -= remainder;
                again = period > TRxTimerList::kMinPeriod;
                break;
            }
        }
    }
    return period;
}

// ---------------------------------------------------------------------------------------------
// TRxTimerList

TRxTimerList::TRxTimerList(TickSource& ticks, TimerService& timers, ErrorHandler errorHandler)
    : m_ticks(ticks)
    , m_timers(timers)
    , m_errorHandler(std::move(errorHandler))
{ }

TRxTimerList::~TRxTimerList()
{
    try {
        StopList();
    } catch (...) {
        // An OnFinish that raises cannot stop the destruction.
    }
    m_timerWindow.reset();
    // Events owned elsewhere left the list in their own destructors, so every pointer here is live.
    while (!m_events.empty()) {
        TRxTimerEvent* event = m_events.back();
        LeaveList(*event);
        if (!event->m_destroying)
            std::erase_if(m_ownEvents, [event](const auto& own) { return own.get() == event; });
    }
    m_ownEvents.clear();
}

void TRxTimerList::SetActive(bool active)
{
    if (active == m_active)
        return;
    if (active) {
        m_timerWindow = m_timers.CreateTimer([this] { Tick(); });
        const std::uint32_t now = m_ticks.TickCount();
        for (TRxTimerEvent* event : m_events) {
            if (event->m_enabled)
                event->m_lastFireTick = now;
        }
        // RecomputePeriod clears ServedSpan before ArmTimer counts the first chunk; clearing it
        // after ArmTimer would forget that chunk of a period above 65535 ms.
        RecomputePeriod(now);
        SortByInterval();
        try {
            ArmTimer();
        } catch (...) {
            // The timer was refused: the list stays off, without its window.
            m_timerWindow.reset();
            m_servedSpan = 0;
            throw;
        }
        m_active = true;
    } else {
        m_timerWindow.reset();
        m_servedSpan = 0;
        try {
            if (OnFinish)
                OnFinish(*this);
        } catch (...) {
            m_active = false;
            throw;
        }
        m_active = false;
    }
}

std::int32_t TRxTimerList::JoinList(TRxTimerEvent& event)
{
    if (event.m_parent)
        event.m_parent->LeaveList(event);
    try {
        m_events.push_back(&event);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    event.m_handle = NextHandle();
    event.m_parent = this;
    RecomputePeriod(m_ticks.TickCount());
    SortByInterval();
    ArmTimer();
    return event.m_handle;
}

void TRxTimerList::LeaveList(TRxTimerEvent& event)
{
    std::erase(m_events, &event);
    if (event.m_parent == this)
        event.m_parent = nullptr;
}

std::int32_t TRxTimerList::AddEvent(std::function<void(TRxTimerEvent&)> onTimer, std::int32_t interval, bool cycled)
{
    auto own = std::make_unique<TRxTimerEvent>(m_ticks);
    TRxTimerEvent& event = *own;
    try {
        m_events.push_back(&event);
        try {
            m_ownEvents.push_back(std::move(own));
        } catch (const std::bad_alloc&) {
            m_events.pop_back();
            throw;
        }
    } catch (const std::bad_alloc&) {
        return -1;
    }
    event.OnTimer = std::move(onTimer);
    event.m_parent = this;
    event.m_handle = NextHandle();
    event.SetInterval(interval);
    event.m_cycled = cycled;
    const std::int32_t handle = event.m_handle;
    RecomputePeriod(m_ticks.TickCount());
    SortByInterval();
    ArmTimer();
    return handle;
}

void TRxTimerList::RemoveEvent(std::int32_t handle)
{
    const auto found = std::find_if(m_events.begin(), m_events.end(),
                                    [handle](const TRxTimerEvent* e) { return e->m_handle == handle; });
    if (found == m_events.end())
        return;
    TRxTimerEvent* event = *found;
    LeaveList(*event);
    if (!event->m_destroying)
        std::erase_if(m_ownEvents, [event](const auto& own) { return own.get() == event; });
    if (m_active) {
        RecomputePeriod(m_ticks.TickCount());
        ArmTimer();
    }
}

int TRxTimerList::CountEnabled() const
{
    return static_cast<int>(
        std::count_if(m_events.begin(), m_events.end(), [](const TRxTimerEvent* e) { return e->m_enabled; }));
}

void TRxTimerList::StopList()
{
    if (m_loading)
        return;
    SetActive(false);
}

void TRxTimerList::RecomputePeriod(std::uint32_t now)
{
    // A recomputed period counts from now: nothing of it has been waited yet.
    m_servedSpan = 0;
    if (m_events.empty()) {
        m_tickPeriod = 0;
        return;
    }
    std::int64_t period = kNoPeriod;
    bool anyEnabled = false;
    for (const TRxTimerEvent* event : m_events) {
        if (!event->m_enabled)
            continue;
        anyEnabled = true;
        period = std::min<std::int64_t>(period, event->m_interval);
        const std::int64_t stillToWait = event->m_interval - Elapsed(now, event->m_lastFireTick);
        period = std::min(period, stillToWait);
    }
    period = std::max<std::int64_t>(period, kMinPeriod);
    if (!anyEnabled) {
        m_tickPeriod = 0;
        return;
    }
    std::vector<std::int32_t> intervals;
    intervals.reserve(m_events.size());
    for (const TRxTimerEvent* event : m_events)
        intervals.push_back(event->m_interval);
    m_tickPeriod = std::max(ReduceTickPeriod(static_cast<std::int32_t>(period), intervals), kMinPeriod);
}

void TRxTimerList::SortByInterval()
{
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (std::size_t i = 0; i + 1 < m_events.size(); ++i) {
            if (m_events[i]->m_interval > m_events[i + 1]->m_interval) {
                std::swap(m_events[i], m_events[i + 1]);
                swapped = true;
            }
        }
    }
}

void TRxTimerList::ArmTimer()
{
    std::int32_t chunk;
    if (m_tickPeriod <= kMaxChunk) {
        chunk = m_tickPeriod;
    } else if (m_tickPeriod - m_servedSpan <= kMaxChunk) {
        chunk = m_tickPeriod - m_servedSpan;
        m_servedSpan = 0;
    } else {
        chunk = kMaxChunk;
        m_servedSpan += kMaxChunk;
    }
    if (!m_timerWindow)
        return;
    m_timerWindow->Stop();
    if (m_tickPeriod == 0 || CountEnabled() < 1) {
        StopList();
        return;
    }
    if (!m_timerWindow->Start(static_cast<std::uint16_t>(chunk))) {
        StopList();
        throw EOutOfResources("Not enough timers available");
    }
    SleepUntilDue();
}

void TRxTimerList::SleepUntilDue()
{
    // A long period is served in chunks; its ticks are few anyway.
    if (!m_timerWindow || m_tickPeriod == 0 || m_tickPeriod > kMaxChunk)
        return;
    const std::uint32_t now = m_ticks.TickCount();
    std::int64_t soonest = std::numeric_limits<std::int64_t>::max();
    for (const TRxTimerEvent* event : m_events) {
        if (event->m_enabled)
            soonest = std::min(soonest, event->m_interval - kEarlyTolerance - Elapsed(now, event->m_lastFireTick));
    }
    if (soonest > 0 && soonest != std::numeric_limits<std::int64_t>::max())
        m_timerWindow->SleepUntil(now + static_cast<std::uint32_t>(soonest));
}

void TRxTimerList::Tick()
{
    try {
        if (!m_active || m_servedSpan != 0) {
            // Inactive, or a chunk of a long period ended that is not its last: arm the next one.
            ArmTimer();
            return;
        }
        if (RunDueEvents()) {
            if (CountEnabled() == 0) {
                StopList();
            } else {
                RecomputePeriod(m_ticks.TickCount());
                ArmTimer();
            }
        } else if (m_tickPeriod > kMaxChunk && m_servedSpan == 0 && m_timerWindow) {
            // The last chunk of a long period ended and no handler re-armed: start the next period.
            ArmTimer();
        }
        // Handlers may have fired, waited in nested loops or changed events: sleep from here.
        SleepUntilDue();
    } catch (const std::exception& error) {
        ReportError(error);
    } catch (...) {
        ReportError(EKronvikError("Unknown error in a timer event"));
    }
}

bool TRxTimerList::RunDueEvents()
{
    const std::uint32_t now = m_ticks.TickCount();
    bool switchedOff = false;
    // From the last event to the first; the index is re-checked because a handler may shrink
    // the list (nothing should during a walk; this only keeps it memory-safe).
    for (std::size_t i = m_events.size(); i-- > 0;) {
        if (i >= m_events.size())
            continue;
        TRxTimerEvent* event = m_events[i];
        if (!event || !event->m_enabled)
            continue;
        if (Elapsed(now, event->m_lastFireTick) < std::int64_t { event->m_interval } - kEarlyTolerance)
            continue;
        event->m_lastFireTick = now;
        ++event->m_fireCount;
        event->SetEnabled(event->m_cycled || event->m_fireCount != event->m_repeatCount);
        if (!event->m_enabled)
            switchedOff = true;
        // FireEvent. Copies, so that a handler may reassign its own handler while it runs.
        const std::int32_t handle = event->m_handle;
        if (event->OnTimer) {
            const auto onTimer = event->OnTimer;
            onTimer(*event);
        }
        if (OnTimers) {
            const auto onTimers = OnTimers;
            onTimers(*this, handle);
        }
    }
    return switchedOff;
}

void TRxTimerList::ReportError(const std::exception& error)
{
    if (m_errorHandler)
        m_errorHandler(error);
}
