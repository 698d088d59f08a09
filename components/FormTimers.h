#pragma once

#include <array>
#include <cstdint>

class TRxTimerEvent;
class TRxTimerList;

// The stored properties of one of the form's timer events.
struct StoredTimerEvent
{
    std::int32_t Interval;
    bool Cycled;
    std::int32_t RepeatCount;
    bool Enabled;
};

// RxTimerEvent1 … RxTimerEvent5 as stored with the form, in form order.
inline constexpr std::array<StoredTimerEvent, 5> kFormTimerEvents { {
    { 1000, true, 0, true }, // RxTimerEvent1: pumps the message queue
    { 5000, true, 0, true }, // RxTimerEvent2: connection watcher
    { 60000, false, 1, false }, // RxTimerEvent3: time-out of the time query
    { 1000, true, 0, false }, // RxTimerEvent4: mailbox check
    { 1000, false, 1, false }, // RxTimerEvent5: time-out of a mailbox reply
} };

// Loads RxTimerList1 with its five events the way the form data does: loading on; Active
// true; each event joins in form order (a fresh list hands out handles 1 to 5); then each
// event's stored Interval, Cycled, RepeatCount and Enabled; loading off. The OnTimer
// handlers are left to the controller. Raises EOutOfResources when the timer is refused.
void LoadFormTimers(TRxTimerList& RxTimerList1, TRxTimerEvent& RxTimerEvent1, TRxTimerEvent& RxTimerEvent2,
                    TRxTimerEvent& RxTimerEvent3, TRxTimerEvent& RxTimerEvent4, TRxTimerEvent& RxTimerEvent5);
