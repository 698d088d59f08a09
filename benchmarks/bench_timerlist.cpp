// The program's timer list as at run time (events 1 and 2 on, 3 to 5 off) on the real Qt
// binding, for about ten seconds (or the seconds given as the first argument). Prints how
// often the process wakes up for the list and the tick period the list chose, after loading
// and at the end (RxTimerEvent2 switches itself off and on around its work, as the watcher
// does, and each such switch-on recomputes the period).
#include "components/FormTimers.h"
#include "components/TimerLst.h"
#include "platform/linux/MonotonicTickSource.h"
#include "platform/linux/QtTimerService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

// Counts every tick the platform delivers to the list.
class CountingTimerService final : public TimerService
{
public:
    explicit CountingTimerService(TimerService& inner)
        : m_inner(inner)
    { }

    std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) override
    {
        return m_inner.CreateTimer([this, onTick = std::move(onTick)] {
            ++ticks;
            onTick();
        });
    }

    long ticks = 0;

private:
    TimerService& m_inner;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;

    MonotonicTickSource ticks;
    QtTimerService qtTimers;
    CountingTimerService timers(qtTimers);
    long errors = 0;
    TRxTimerList RxTimerList1(ticks, timers, [&errors](const std::exception&) { ++errors; });
    TRxTimerEvent RxTimerEvent1(ticks);
    TRxTimerEvent RxTimerEvent2(ticks);
    TRxTimerEvent RxTimerEvent3(ticks);
    TRxTimerEvent RxTimerEvent4(ticks);
    TRxTimerEvent RxTimerEvent5(ticks);
    LoadFormTimers(RxTimerList1, RxTimerEvent1, RxTimerEvent2, RxTimerEvent3, RxTimerEvent4, RxTimerEvent5);

    long fires1 = 0;
    long fires2 = 0;
    RxTimerEvent1.OnTimer = [&fires1](TRxTimerEvent&) {
        ++fires1;
        QCoreApplication::processEvents(); // as the program's RxTimerEvent1Timer
    };
    RxTimerEvent2.OnTimer = [&fires2](TRxTimerEvent& e) {
        ++fires2;
        e.SetEnabled(false); // as the watcher, around its own work
        e.SetEnabled(true);
    };

    const std::int32_t periodAfterLoading = RxTimerList1.TickPeriod();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(static_cast<int>(seconds * 1000), Qt::PreciseTimer, &app, &QCoreApplication::quit);
    app.exec();
    const double elapsed = static_cast<double>(clock.elapsed()) / 1000.0;

    std::printf("seconds %.3f\n", elapsed);
    std::printf("wakeups %ld\n", timers.ticks);
    std::printf("wakeups_per_second %.3f\n", static_cast<double>(timers.ticks) / elapsed);
    std::printf("tick_period_ms_after_loading %d\n", periodAfterLoading);
    std::printf("tick_period_ms_at_end %d\n", RxTimerList1.TickPeriod());
    std::printf("event1_fires %ld\n", fires1);
    std::printf("event2_fires %ld\n", fires2);
    std::printf("errors %ld\n", errors);
    return 0;
}
