#include "components/FormTimers.h"
#include "components/TimerLst.h"
#include "platform/linux/timers/MonotonicTickSource.h"
#include "platform/linux/timers/QtTimerService.h"
#include "tests/components/SimulatedHour.h"
#include "tests/fakes/FakeTickSource.h"
#include "tests/fakes/FakeTimerService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t T0 = 100000;

// Fake ticks and timer windows; what the list handed on.
struct World
{
    explicit World(std::uint32_t start = T0)
        : ticks(start)
    {
        list.OnFinish = [this](TRxTimerList& sender) { finished += &sender == &list; };
    }

    QString Log() const
    {
        QStringList log;
        for (const std::string& line : timers.Log())
            log << QString::fromStdString(line);
        return log.join(", ");
    }

    FakeTickSource ticks;
    FakeTimerService timers { &ticks };
    QStringList errors;
    int finished = 0;
    TRxTimerList list { ticks, timers, [this](const std::exception& e) { errors << e.what(); } };
};

// Declared after the World, so they go first, as on the form.
using Events = std::vector<std::unique_ptr<TRxTimerEvent>>;

// Events joining with default properties (so in this order), then given their intervals.
Events JoinEvents(World& w, const QList<int>& intervals, bool activate = true)
{
    if (activate)
        w.list.SetActive(true);
    Events events;
    for (qsizetype i = 0; i < intervals.size(); ++i) {
        events.push_back(std::make_unique<TRxTimerEvent>(w.ticks));
        events.back()->SetParentList(&w.list);
    }
    for (qsizetype i = 0; i < intervals.size(); ++i)
        events[std::size_t(i)]->SetInterval(intervals[i]);
    return events;
}

// The program's list and events, members of the form in this order.
struct FormWorld : World
{
    FormWorld() { LoadFormTimers(list, RxTimerEvent1, RxTimerEvent2, RxTimerEvent3, RxTimerEvent4, RxTimerEvent5); }

    TRxTimerEvent RxTimerEvent1 { ticks }, RxTimerEvent2 { ticks }, RxTimerEvent3 { ticks }, RxTimerEvent4 { ticks },
        RxTimerEvent5 { ticks };
};

// Pumps the real event loop until `done` or `ms` have passed.
template<typename Done> bool PumpUntil(Done done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(1);
    }
    return done();
}

} // namespace

class TestTimerList : public QObject
{
    Q_OBJECT

private slots:
    void reducePeriod()
    {
        QCOMPARE(ReduceTickPeriod(990, { 1000, 5000, 60000 }), 80); // 990 → 980 → 960 → 920 → 840 → 680 → 360 → 80
        // 200 % 150 = 50 → 100: the scan stops although 1050 % 100 would leave 50.
        QCOMPARE(ReduceTickPeriod(150, { 200, 1050 }), 100);
    }

    void period_data()
    {
        QTest::addColumn<QString>("events"); // interval, and for enabled ones "@" ms since firing or switch-on
        QTest::addColumn<uint>("now");
        QTest::addColumn<int>("expected"); // 0: the list stops
        QTest::newRow("10 ms ago: 990 ... 80, raised to 100") << "1000@10 5000@0 60000 1000 1000" << T0 << 100;
        QTest::newRow("the same across the wrap") << "1000@10 5000@0 60000 1000 1000" << 0u << 100;
        QTest::newRow("100 ms ago: 900 → 800 → 600 → 200") << "1000@100 5000@0 60000 1000 1000" << T0 << 200;
        QTest::newRow("250 ms ago: 750 → 500") << "1000@250 5000@0 60000 1000 1000" << T0 << 500;
        QTest::newRow("just fired: 1000") << "1000@0 5000@0 60000 1000 1000" << T0 << 1000;
        QTest::newRow("overdue: 100") << "1000@1500 5000@0 60000 1000 1000" << T0 << 100;
        QTest::newRow("disabled 1000 takes part: 5000 ... 1000") << "1000 5000@0 60000@0" << T0 << 1000;
        QTest::newRow("never below 100") << "100@0 130@0" << T0 << 100;
        QTest::newRow("long period kept whole") << "200000@0" << T0 << 200000;
        QTest::newRow("nothing enabled") << "1000 5000" << T0 << 0;
    }

    void period()
    {
        QFETCH(QString, events);
        QFETCH(uint, now);
        QFETCH(int, expected);
        const QStringList items = events.split(' ');
        QList<int> intervals;
        for (const QString& item : items)
            intervals << item.section('@', 0, 0).toInt();
        World w;
        Events joined = JoinEvents(w, intervals);
        for (std::size_t i = 0; i < joined.size(); ++i) {
            joined[i]->SetEnabled(false);
            w.ticks.Set(now - items[qsizetype(i)].section('@', 1).toUInt());
            joined[i]->SetEnabled(items[qsizetype(i)].contains('@'));
        }
        w.ticks.Set(now);
        w.timers.ClearLog();
        w.list.RecomputePeriod(now);
        w.list.ArmTimer();
        QCOMPARE(w.list.TickPeriod(), expected);
        QCOMPARE(w.list.Active(), expected != 0);
        QCOMPARE(w.timers.Starts(), (std::vector<std::uint16_t>(expected ? 1 : 0, std::min(expected, 65535))));
    }

    void tolerance_data()
    {
        QTest::addColumn<uint>("start");
        QTest::addColumn<int>("stillToGo");
        QTest::addColumn<bool>("fires");
        QTest::newRow("due") << T0 << 0 << true;
        QTest::newRow("40 ms to go") << T0 << 40 << true;
        QTest::newRow("50 ms to go") << T0 << 50 << true;
        QTest::newRow("60 ms to go: waits") << T0 << 60 << false;
        QTest::newRow("40 ms to go across the wrap") << 0xFFFFFFF0u << 40 << true;
    }

    void tolerance()
    {
        QFETCH(uint, start);
        QFETCH(int, stillToGo);
        QFETCH(bool, fires);
        World w(start);
        Events events = JoinEvents(w, { 1000 });
        w.ticks.Set(start + 1000 - std::uint32_t(stillToGo));
        QVERIFY(w.timers.Tick());
        QCOMPARE(events[0]->FireCount(), fires ? 1 : 0);
        // The next period counts from the tick that fired, not from when it was due.
        QCOMPARE(events[0]->LastFireTick(), fires ? w.ticks.TickCount() : start);
    }

    void repeats_data()
    {
        QTest::addColumn<bool>("cycled");
        QTest::addColumn<int>("repeatCount");
        QTest::addColumn<bool>("alone"); // without a cycled 500-ms event beside it
        QTest::addColumn<int>("fires"); // within 5 s
        QTest::addColumn<bool>("endsOn");
        QTest::newRow("one-shot") << false << 1 << false << 1 << false;
        QTest::newRow("twice") << false << 2 << false << 2 << false;
        QTest::newRow("below 1 means once") << false << -3 << false << 1 << false;
        // Equal to the value it had, so not raised to 1: it never reaches its count.
        QTest::newRow("0 left as it was") << false << 0 << false << 5 << true;
        QTest::newRow("cycled ignores the count") << true << 2 << false << 5 << true;
        QTest::newRow("last one-shot stops the list") << false << 1 << true << 1 << false;
    }

    void repeats()
    {
        QFETCH(bool, cycled);
        QFETCH(int, repeatCount);
        QFETCH(bool, alone);
        QFETCH(int, fires);
        QFETCH(bool, endsOn);
        World w;
        Events events = JoinEvents(w, alone ? QList<int> { 1000 } : QList<int> { 500, 1000 });
        TRxTimerEvent& shot = *events.back();
        shot.SetEnabled(false);
        shot.SetCycled(cycled);
        shot.SetRepeatCount(repeatCount);
        int fired = 0;
        bool enabledInside = true;
        shot.OnTimer = [&](TRxTimerEvent& sender) {
            fired += &sender == &shot;
            enabledInside = sender.Enabled();
        };
        shot.SetEnabled(true);
        w.timers.ClearLog();
        w.timers.Elapse(5000);
        QCOMPARE(fired, fires);
        QCOMPARE(enabledInside, endsOn);
        QCOMPARE(shot.Enabled(), endsOn);
        QCOMPARE(w.list.Active(), !alone);
        QCOMPARE(w.finished, alone ? 1 : 0);
        if (alone) {
            // A list that stopped itself stays off: switching an event on recomputes but arms nothing.
            w.timers.ClearLog();
            shot.SetEnabled(true);
            QCOMPARE(w.list.TickPeriod(), 1000);
            QCOMPARE(w.Log(), QString());
        } else { // only the tick that switched an event off recomputed and re-armed
            QCOMPARE(w.Log(), QString(endsOn ? "" : "stop, start 500"));
        }
    }

    void setterRules_data()
    {
        QTest::addColumn<QString>("changes"); // made 300 ms after the second firing
        QTest::addColumn<bool>("restarted"); // count and period start over from now
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("log");
        QTest::newRow("on while on: nothing") << "Enabled 1" << false << true << 1000 << "";
        QTest::newRow("off: only the flag") << "Enabled 0" << false << false << 1000 << "";
        QTest::newRow("off and on: a new period")
            << "Enabled 0, Enabled 1" << true << true << 1000 << "stop, start 1000";
        QTest::newRow("interval below 100, from the last firing")
            << "Interval 50" << false << true << 100 << "stop, start 100";
        QTest::newRow("equal interval: nothing") << "Interval 1000" << false << true << 1000 << "";
        // 1700 still to wait: 1700 → 1400 → 800 → 400.
        QTest::newRow("interval 2000") << "Interval 2000" << false << true << 400 << "stop, start 400";
        QTest::newRow("count above the firings") << "RepeatCount 3" << false << true << 1000 << "";
        QTest::newRow("count reached: off") << "RepeatCount 2" << false << false << 1000 << "";
    }

    void setterRules()
    {
        QFETCH(QString, changes);
        QFETCH(bool, restarted);
        QFETCH(bool, enabled);
        QFETCH(int, period);
        QFETCH(QString, log);
        World w;
        Events events = JoinEvents(w, { 1000 });
        TRxTimerEvent& e = *events[0];
        QCOMPARE(w.timers.Elapse(2000), 2);
        const std::uint32_t lastFired = e.LastFireTick();
        w.ticks.Advance(300);
        w.timers.ClearLog();
        for (const QString& change : changes.split(", ")) {
            const int value = change.section(' ', 1).toInt();
            if (change.startsWith("Enabled"))
                e.SetEnabled(value != 0);
            else if (change.startsWith("Interval"))
                e.SetInterval(value);
            else
                e.SetRepeatCount(value);
        }
        QCOMPARE(e.FireCount(), restarted ? 0 : 2);
        QCOMPARE(e.LastFireTick(), restarted ? w.ticks.TickCount() : lastFired);
        QCOMPARE(e.Enabled(), enabled);
        QCOMPARE(w.list.TickPeriod(), period);
        QCOMPARE(w.Log(), log);
    }

    // Due together, the events fire from the last in the list to the first, each followed by OnTimers.
    void firingOrder()
    {
        World w;
        Events events = JoinEvents(w, { 1000, 1000, 1000 });
        std::vector<int> order;
        for (const auto& e : events)
            e->OnTimer = [&order](TRxTimerEvent& sender) { order.push_back(sender.Handle()); };
        w.list.OnTimers = [&](TRxTimerList&, std::int32_t handle) { order.push_back(-handle); };
        QCOMPARE(w.timers.Elapse(1000), 1);
        QCOMPARE(order, (std::vector<int> { 3, -3, 2, -2, 1, -1 }));
    }

    // As the watcher does: RxTimerEvent2 switches itself off and on inside its handler. It fires
    // before RxTimerEvent1 in the same walk, so the recomputation finds event 1 due now and the
    // period drops to 100 ms; nothing recomputes it afterwards (no event was switched off). The
    // timer sleeps through the ticks of that period at which no event is due.
    void watcherSwitchOnInsideWalk()
    {
        FormWorld w;
        w.timers.honourSleep = false;
        w.RxTimerEvent2.OnTimer = [](TRxTimerEvent& e) {
            e.SetEnabled(false);
            e.SetEnabled(true);
        };
        QCOMPARE(w.timers.Elapse(4999), 4);
        QCOMPARE(w.list.TickPeriod(), 1000);
        QCOMPARE(w.timers.Elapse(1), 1);
        QCOMPARE(w.list.TickPeriod(), 100);
        QCOMPARE(w.RxTimerEvent1.FireCount(), 5);
        QCOMPARE(w.timers.Elapse(4000), 40);
        QCOMPARE(w.RxTimerEvent1.FireCount(), 9);
        w.timers.honourSleep = true;
        QCOMPARE(w.timers.Elapse(4000), 4);
        QCOMPARE(w.RxTimerEvent1.FireCount(), 13);
        QCOMPARE(w.list.TickPeriod(), 100);
    }

    // A timer that sleeps through the ticks no event wants fires the same events at the same
    // ticks, in the same order and nesting, as one that keeps them all.
    void sleepingKeepsTheFiringTrace()
    {
        int every = 0;
        int sleeping = 0;
        const QStringList kept = SimulateProgramHour(false, every);
        const QStringList slept = SimulateProgramHour(true, sleeping);
        QVERIFY(kept.size() > 3600);
        QCOMPARE(slept, kept);
        QVERIFY2(sleeping * 5 < every, qPrintable(QStringLiteral("%1 of %2 ticks delivered").arg(sleeping).arg(every)));
    }

    void chunksAboveMaxPeriod()
    {
        World w;
        Events events = JoinEvents(w, { 200000 }, false);
        w.ticks.Advance(50000); // the period counts from the activation
        const std::uint32_t start = w.ticks.TickCount();
        std::vector<std::uint32_t> firedAt;
        events[0]->OnTimer = [&](TRxTimerEvent& e) { firedAt.push_back(e.LastFireTick() - start); };
        w.list.SetActive(true);
        w.timers.Elapse(400000);
        QCOMPARE(firedAt, (std::vector<std::uint32_t> { 200000, 400000 }));
        const std::vector<std::uint16_t> chunks { 65535, 65535, 65535, 3395, 65535, 65535, 65535, 3395, 65535 };
        QCOMPARE(w.timers.Starts(), chunks);

        // A recomputation in the middle of the chunks starts a new period from that moment.
        w.timers.Elapse(100000);
        events[0]->SetInterval(150000); // 50000 still to wait from its last firing
        w.timers.Elapse(50000);
        QCOMPARE(firedAt.back(), std::uint32_t { 550000 });
    }

    void nestedTicks()
    {
        // The mail check arms the reply deadline and waits for it by pumping, while time goes on.
        FormWorld w;
        int pumps = 0;
        bool deadline = false;
        bool deadlineInside = false;
        std::vector<std::uint32_t> event1Ticks;
        w.RxTimerEvent1.OnTimer = [&](TRxTimerEvent& e) { event1Ticks.push_back(e.LastFireTick()); };
        w.RxTimerEvent5.OnTimer = [&](TRxTimerEvent&) { deadline = true; };
        w.RxTimerEvent4.OnTimer = [&](TRxTimerEvent& e) {
            e.SetEnabled(false);
            w.RxTimerEvent5.SetInterval(20000);
            w.RxTimerEvent5.SetEnabled(true);
            for (deadline = false; !deadline && pumps < 100; ++pumps)
                w.timers.Elapse(500); // delivers the list's ticks inside this handler
            deadlineInside = deadline;
            e.SetEnabled(true);
        };
        w.RxTimerEvent4.SetInterval(60000);
        w.RxTimerEvent4.SetEnabled(true);
        w.timers.Elapse(60000);
        QVERIFY(deadlineInside);
        QCOMPARE(pumps, 40); // 20000 ms in steps of 500
        QVERIFY(!w.RxTimerEvent5.Enabled());
        QCOMPARE(w.RxTimerEvent5.FireCount(), 1);
        QVERIFY(w.RxTimerEvent4.Enabled());
        QVERIFY(w.timers.Running());
        // Event 1 went on firing inside the handler, once a second, never twice on one tick.
        QVERIFY(event1Ticks.size() >= 79 && event1Ticks.size() <= 80);
        for (std::size_t i = 1; i < event1Ticks.size(); ++i)
            QVERIFY(event1Ticks[i] - event1Ticks[i - 1] >= 950);

        // A tick delivered from inside a handler: the outer walk then finds the first event not due.
        World v;
        Events events = JoinEvents(v, { 1000, 1000 });
        int depth = 0;
        events[1]->OnTimer = [&](TRxTimerEvent&) {
            if (++depth == 1) {
                v.ticks.Advance(1000);
                QVERIFY(v.timers.Tick());
            }
            --depth;
        };
        v.ticks.Advance(1000);
        QVERIFY(v.timers.Tick());
        QCOMPARE(events[1]->FireCount(), 2);
        QCOMPARE(events[0]->FireCount(), 1);
    }

    void throwingHandler()
    {
        World w;
        Events events = JoinEvents(w, { 1000, 1000, 1000 });
        bool thrown = false;
        events[1]->OnTimer = [&](TRxTimerEvent&) {
            if (!std::exchange(thrown, true))
                throw EKronvikError("Handler failed");
        };
        events[2]->SetCycled(false);
        events[2]->SetRepeatCount(1);
        int handles = 0;
        w.list.OnTimers = [&](TRxTimerList&, std::int32_t) { ++handles; };
        w.timers.ClearLog();
        QCOMPARE(w.timers.Elapse(1000), 1);
        QCOMPARE(w.errors, QStringList { "Handler failed" });
        QVERIFY(!events[2]->Enabled()); // fired first and switched off ...
        QCOMPARE(w.Log(), QString()); // ... but nothing was recomputed or re-armed
        QCOMPARE(events[0]->FireCount(), 0); // the rest of the walk was abandoned
        QCOMPARE(handles, 1); // OnTimers ran for event 3 only
        // The next tick examines them all again.
        QCOMPARE(w.timers.Elapse(1000), 1);
        QCOMPARE(events[0]->FireCount(), 1);
        QCOMPARE(events[1]->FireCount(), 2);
        QCOMPARE(w.errors.size(), 1);
    }

    void startRefused_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("activation") << "activation";
        QTest::newRow("switching an event on") << "switch-on";
        QTest::newRow("inside a tick") << "tick"; // handed to the error handler, not raised into the loop
    }

    void startRefused()
    {
        QFETCH(QString, when);
        World w;
        Events events = JoinEvents(w, { 1000 }, when != "activation");
        events[0]->SetEnabled(when != "switch-on");
        events[0]->OnTimer = [&](TRxTimerEvent& e) {
            w.timers.refuseStart = true;
            e.SetInterval(2000);
        };
        QStringList raised;
        w.timers.refuseStart = when != "tick";
        try {
            if (when == "activation")
                w.list.SetActive(true);
            else if (when == "switch-on")
                events[0]->SetEnabled(true);
            else
                QCOMPARE(w.timers.Elapse(5000), 1);
        } catch (const EOutOfResources& e) {
            raised << e.what();
        }
        QCOMPARE(when == "tick" ? w.errors : raised, QStringList { "Not enough timers available" });
        QCOMPARE(raised.size() + w.errors.size(), 1);
        QVERIFY(!w.list.Active());
        QVERIFY(!w.timers.WindowExists());
        QCOMPARE(w.finished, when == "activation" ? 0 : 1);
        // Nothing is left half-made: the list can be switched on again.
        w.timers.refuseStart = false;
        w.list.SetActive(true);
        QVERIFY(w.timers.Running());
    }

    void loading()
    {
        World w;
        w.list.BeginLoading();
        w.list.SetActive(true); // no events yet: zero period, but the list stays active
        w.list.StopList();
        QVERIFY(w.list.Active());
        TRxTimerEvent event(w.ticks);
        event.SetParentList(&w.list); // the first join arms the timer
        QCOMPARE(w.timers.Period(), 1000);
        event.SetEnabled(false);
        w.list.ArmTimer(); // nothing enabled: the timer stops, the list stays on while loading
        QVERIFY(w.list.Active());
        QVERIFY(!w.timers.Running());
        w.list.EndLoading();
        w.list.StopList();
        QVERIFY(!w.list.Active());

        FormWorld f; // comes out of loading, running
        QVERIFY(!f.list.Loading());
        QCOMPARE(f.timers.Period(), 1000);
    }

    void addAndRemoveEvent()
    {
        World w;
        w.list.SetActive(true);
        QCOMPARE(w.list.AddEvent({}, 3000, true), 1);
        QCOMPARE(w.list.AddEvent({}, 50, false), 2);
        QCOMPARE(w.list.Events()[0]->Interval(), 100); // sorted by interval, never below 100
        QCOMPARE(w.timers.Period(), 100);
        w.list.RemoveEvent(2);
        w.list.RemoveEvent(77); // none: nothing
        QCOMPARE(w.list.Events().size(), std::size_t { 1 });
        QCOMPARE(w.timers.Period(), 3000);
        // An event owned elsewhere is only detached.
        TRxTimerEvent outside(w.ticks);
        QCOMPARE(w.list.JoinList(outside), 3);
        w.list.RemoveEvent(3);
        QCOMPARE(outside.ParentList(), nullptr);
    }

    void destructionOrder()
    {
        // As on the form: the events go first and leave the list; the list then stops.
        {
            World w;
            {
                Events events = JoinEvents(w, { 1000, 2000 });
            }
            QVERIFY(w.list.Events().empty());
            w.list.SetActive(false);
            QCOMPARE(w.finished, 1);
        }
        // The other way round: the list goes first and leaves the events alone, parentless.
        FakeTickSource ticks;
        FakeTimerService timers(&ticks);
        TRxTimerEvent survivor(ticks);
        {
            TRxTimerList list(ticks, timers, {});
            list.SetActive(true);
            survivor.SetParentList(&list);
            list.AddEvent({}, 1000, true);
        }
        QCOMPARE(survivor.ParentList(), nullptr);
        QVERIFY(!timers.WindowExists());
    }

    // The real binding: Qt timers on this thread's event loop.
    void realTicksNest()
    {
        MonotonicTickSource clock;
        QtTimerService service(clock);
        int depth = 0;
        int maxDepth = 0;
        int ticks = 0;
        int innerTicks = 0;
        bool pumped = false;
        std::unique_ptr<PlatformTimer> timer = service.CreateTimer([&] {
            ++ticks;
            maxDepth = std::max(maxDepth, ++depth);
            innerTicks += depth > 1;
            if (!std::exchange(pumped, true))
                PumpUntil([&] { return innerTicks >= 5; }, 3000);
            --depth;
        });
        QVERIFY(timer->Start(20));
        QVERIFY(PumpUntil([&] { return pumped && depth == 0; }, 5000));
        QVERIFY2(innerTicks >= 5, qPrintable(QString("inner ticks: %1").arg(innerTicks)));
        QCOMPARE(maxDepth, 2);

        timer->Stop();
        const int stopped = ticks;
        PumpUntil([] { return false; }, 100);
        QCOMPARE(ticks, stopped);
        QVERIFY(timer->Start(10));
        QVERIFY(PumpUntil([&] { return ticks > stopped; }, 2000));
    }

    void realTimerDestroyedInsideTick()
    {
        MonotonicTickSource clock;
        QtTimerService service(clock);
        int ticks = 0;
        std::unique_ptr<PlatformTimer> timer;
        timer = service.CreateTimer([&] {
            ++ticks;
            timer.reset();
        });
        QVERIFY(timer->Start(10));
        QVERIFY(PumpUntil([&] { return !timer; }, 2000));
        PumpUntil([] { return false; }, 100);
        QCOMPARE(ticks, 1);
    }

    void realListReplyDeadlineInsideHandler()
    {
        MonotonicTickSource ticks;
        QtTimerService service(ticks);
        QStringList errors;
        TRxTimerList list(ticks, service, [&](const std::exception& e) { errors << e.what(); });
        TRxTimerEvent pump(ticks), check(ticks), deadline(ticks);
        deadline.SetCycled(false);
        deadline.SetRepeatCount(1);
        deadline.SetEnabled(false);
        for (auto [event, interval] : { std::pair { &pump, 100 }, { &check, 300 }, { &deadline, 200 } }) {
            event->SetInterval(interval);
            event->SetParentList(&list);
        }
        list.SetActive(true);

        int pumpFires = 0;
        int pumpFiresInside = -1;
        bool deadlineFired = false;
        bool deadlineInside = false;
        pump.OnTimer = [&](TRxTimerEvent&) { ++pumpFires; };
        deadline.OnTimer = [&](TRxTimerEvent&) { deadlineFired = true; };
        check.OnTimer = [&](TRxTimerEvent& e) {
            e.SetEnabled(false);
            deadline.SetEnabled(true);
            const int pumpBefore = pumpFires;
            deadlineInside = PumpUntil([&] { return deadlineFired; }, 3000);
            pumpFiresInside = pumpFires - pumpBefore;
        };
        QVERIFY(PumpUntil([&] { return pumpFiresInside >= 0; }, 5000));
        QVERIFY(deadlineInside);
        QVERIFY(pumpFiresInside >= 1);
        QVERIFY(!deadline.Enabled());
        QVERIFY(list.Active());
        QCOMPARE(list.CountEnabled(), 1);
        QCOMPARE(errors, QStringList {});
        QCOMPARE(list.TickPeriod(), 100);

        // The last enabled event switched off by a tick: the list stops itself, inside its own tick.
        pump.SetCycled(false);
        pump.SetRepeatCount(pump.FireCount() + 1);
        QVERIFY(PumpUntil([&] { return !list.Active(); }, 2000));
        PumpUntil([] { return false; }, 50);
    }
};

QTEST_GUILESS_MAIN(TestTimerList)
#include "TimerListTest.moc"
