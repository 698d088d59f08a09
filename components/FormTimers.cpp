#include "components/FormTimers.h"

#include "components/TimerLst.h"

void LoadFormTimers(TRxTimerList& RxTimerList1, TRxTimerEvent& RxTimerEvent1, TRxTimerEvent& RxTimerEvent2,
                    TRxTimerEvent& RxTimerEvent3, TRxTimerEvent& RxTimerEvent4, TRxTimerEvent& RxTimerEvent5)
{
    struct LoadingScope
    {
        TRxTimerList& list;
        explicit LoadingScope(TRxTimerList& l)
            : list(l)
        {
            list.BeginLoading();
        }
        ~LoadingScope() { list.EndLoading(); }
        LoadingScope(const LoadingScope&) = delete;
        LoadingScope& operator=(const LoadingScope&) = delete;
    } loading { RxTimerList1 };

    RxTimerList1.SetActive(true);
    const std::array<TRxTimerEvent*, 5> events { &RxTimerEvent1, &RxTimerEvent2, &RxTimerEvent3, &RxTimerEvent4,
                                                 &RxTimerEvent5 };
    for (TRxTimerEvent* event : events)
        event->SetParentList(&RxTimerList1);
    for (std::size_t i = 0; i < events.size(); ++i) {
        const StoredTimerEvent& stored = kFormTimerEvents[i];
        events[i]->SetInterval(stored.Interval);
        events[i]->SetCycled(stored.Cycled);
        events[i]->SetRepeatCount(stored.RepeatCount);
        events[i]->SetEnabled(stored.Enabled);
    }
}
