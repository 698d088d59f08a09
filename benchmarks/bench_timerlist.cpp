// The program's timer list as at run time (events 1 and 2 on, 3 to 5 off) on the real Qt binding,
// for about ten seconds (or the seconds given as the first argument), twice: once with a timer
// that delivers every tick of the list's period, once with the binding sleeping through the ticks
// no event wants. Prints how often the process wakes up for the list and the tick period the list
// chose (RxTimerEvent2 switches itself off and on around its work, as the watcher does, and each
// such switch-on recomputes the period). Then the same comparison on a simulated hour of the
// program's five events, whose firing traces must agree.
#include "components/FormTimers.h"
#include "components/TimerLst.h"
#include "platform/linux/timers/MonotonicTickSource.h"
#include "platform/linux/timers/QtTimerService.h"
#include "tests/components/SimulatedHour.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

// Counts every tick the platform delivers to the list; with keepEveryTick the list's requests to
// sleep are dropped, as a binding that cannot sleep would.
class CountingTimerService final : public TimerService
{
public:
    CountingTimerService(TimerService& inner, bool keepEveryTick)
        : m_inner(inner)
        , m_keepEveryTick(keepEveryTick)
    { }

    std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) override
    {
        return std::make_unique<Timer>(m_inner.CreateTimer([this, onTick = std::move(onTick)] {
            ++ticks;
            onTick();
        }),
                                       m_keepEveryTick);
    }

    long ticks = 0;

private:
    class Timer final : public PlatformTimer
    {
    public:
        Timer(std::unique_ptr<PlatformTimer> inner, bool keepEveryTick)
            : m_inner(std::move(inner))
            , m_keepEveryTick(keepEveryTick)
        { }
        bool Start(std::uint16_t ms) override { return m_inner->Start(ms); }
        void Stop() override { m_inner->Stop(); }
        void SleepUntil(std::uint32_t tick) override
        {
            if (!m_keepEveryTick)
                m_inner->SleepUntil(tick);
        }

    private:
        std::unique_ptr<PlatformTimer> m_inner;
        bool m_keepEveryTick;
    };

    TimerService& m_inner;
    bool m_keepEveryTick;
};

void RunIdle(QCoreApplication& app, double seconds, bool keepEveryTick)
{
    MonotonicTickSource ticks;
    QtTimerService qtTimers(ticks);
    CountingTimerService timers(qtTimers, keepEveryTick);
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

    const char* how = keepEveryTick ? "every tick" : "sleeping";
    std::printf("%s: %.3f s, %ld wake-ups, %.2f per second; tick period %d ms after loading, %d ms at the end; "
                "event 1 fired %ld times, event 2 %ld times, %ld errors\n",
                how, elapsed, timers.ticks, static_cast<double>(timers.ticks) / elapsed, periodAfterLoading,
                RxTimerList1.TickPeriod(), fires1, fires2, errors);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    RunIdle(app, seconds, true);
    RunIdle(app, seconds, false);

    int every = 0;
    int sleeping = 0;
    const QStringList kept = SimulateProgramHour(false, every);
    const QStringList slept = SimulateProgramHour(true, sleeping);
    std::printf("simulated hour of the five events: %lld firings compared, traces %s; %d ticks delivered "
                "(%.2f per second) instead of %d (%.2f per second)\n",
                static_cast<long long>(kept.size()), kept == slept ? "identical" : "DIFFERENT", sleeping,
                sleeping / 3600.0, every, every / 3600.0);
    return 0;
}
