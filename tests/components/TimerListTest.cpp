#include "components/FormTimers.h"
#include "components/TimerLst.h"
#include "platform/linux/MonotonicTickSource.h"
#include "platform/linux/QtTimerService.h"
#include "tests/fakes/FakeTickSource.h"
#include "tests/fakes/FakeTimerService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QThread>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t T0 = 100000;

// A fresh fake world: ticks, timer windows and the errors handed on by the list.
struct World
{
    explicit World(std::uint32_t start = T0)
        : ticks(start)
    { }

    FakeTickSource ticks;
    FakeTimerService timers { &ticks };
    QStringList errors;
    TRxTimerList list { ticks, timers, [this](const std::exception& e) { errors << QString::fromUtf8(e.what()); } };
};

// Events in form order, declared after the World so that they go first, as on the form.
using Events = std::vector<std::unique_ptr<TRxTimerEvent>>;

// Events joining with default properties (so in this order), then given their intervals.
Events JoinEvents(World& w, const QList<int>& intervals)
{
    Events events;
    for (qsizetype i = 0; i < intervals.size(); ++i) {
        events.push_back(std::make_unique<TRxTimerEvent>(w.ticks));
        events.back()->SetParentList(&w.list);
    }
    for (qsizetype i = 0; i < intervals.size(); ++i)
        events[static_cast<std::size_t>(i)]->SetInterval(intervals[i]);
    return events;
}

// The program's list and events, members of the form in this order.
struct FormWorld : World
{
    FormWorld() { LoadFormTimers(list, RxTimerEvent1, RxTimerEvent2, RxTimerEvent3, RxTimerEvent4, RxTimerEvent5); }

    TRxTimerEvent RxTimerEvent1 { ticks };
    TRxTimerEvent RxTimerEvent2 { ticks };
    TRxTimerEvent RxTimerEvent3 { ticks };
    TRxTimerEvent RxTimerEvent4 { ticks };
    TRxTimerEvent RxTimerEvent5 { ticks };
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
    void reducePeriod_data();
    void reducePeriod();
    void period_data();
    void period();
    void periodWithoutEnabledEvents();
    void periodAcrossWrapAround();
    void tolerance_data();
    void tolerance();
    void oneShot();
    void lastOneShotStopsTheList();
    void enabledRestartRules();
    void intervalRules();
    void repeatCountRules();
    void firingOrder();
    void watcherSwitchOnInsideWalk();
    void tickWrapAround();
    void chunksAboveMaxPeriod();
    void nestedTicks();
    void throwingHandler();
    void startRefusedWhileRunning();
    void startRefusedAtActivation();
    void startRefusedInsideTick();
    void formTimers();
    void stopListWhileLoading();
    void addAndRemoveEvent();
    void destructionOrder();

    void realTicksNest();
    void realTimerDestroyedInsideTick();
    void realListReplyDeadlineInsideHandler();
};

void TestTimerList::reducePeriod_data()
{
    QTest::addColumn<int>("candidate");
    QTest::addColumn<QList<int>>("intervals");
    QTest::addColumn<int>("expected");

    const QList<int> program { 1000, 5000, 60000, 1000, 1000 };
    // 990 → 980 → 960 → 920 → 840 → 680 → 360 → 80
    QTest::newRow("990") << 990 << program << 80;
    QTest::newRow("360 (last step)") << 360 << program << 80;
    QTest::newRow("900 → 800 → 600 → 200") << 900 << program << 200;
    QTest::newRow("750 → 500") << 750 << program << 500;
    QTest::newRow("1000 divides all") << 1000 << program << 1000;
    QTest::newRow("5000 → 4000 → 3000 → 2000 → 1000") << 5000 << QList<int> { 1000, 5000, 60000 } << 1000;
    // 200 % 150 = 50 → 100: the scan stops although 1050 % 100 would leave 50.
    QTest::newRow("stops at 100") << 150 << QList<int> { 200, 1050 } << 100;
    QTest::newRow("may end below 100") << 150 << QList<int> { 1000, 1050 } << 50;
}

void TestTimerList::reducePeriod()
{
    QFETCH(int, candidate);
    QFETCH(QList<int>, intervals);
    QFETCH(int, expected);
    QCOMPARE(ReduceTickPeriod(candidate, std::vector<std::int32_t>(intervals.begin(), intervals.end())), expected);
}

void TestTimerList::period_data()
{
    QTest::addColumn<QList<int>>("intervals");
    QTest::addColumn<QList<bool>>("enabled");
    QTest::addColumn<QList<int>>("ages"); // ms since each enabled event fired or was switched on
    QTest::addColumn<int>("expected");

    const QList<int> program { 1000, 5000, 60000, 1000, 1000 };
    const QList<bool> oneAndTwo { true, true, false, false, false };
    QTest::newRow("fired 10 ms ago: 990 ... 80, raised to 100")
        << program << oneAndTwo << QList<int> { 10, 0, 0, 0, 0 } << 100;
    QTest::newRow("fired 100 ms ago: 900 ... 200") << program << oneAndTwo << QList<int> { 100, 0, 0, 0, 0 } << 200;
    QTest::newRow("fired 250 ms ago: 750 → 500") << program << oneAndTwo << QList<int> { 250, 0, 0, 0, 0 } << 500;
    QTest::newRow("fired just now: 1000") << program << oneAndTwo << QList<int> { 0, 0, 0, 0, 0 } << 1000;
    QTest::newRow("disabled 1000 takes part: 5000 → 1000")
        << QList<int> { 1000, 5000, 60000 } << QList<bool> { false, true, true } << QList<int> { 0, 0, 0 } << 1000;
    QTest::newRow("overdue: 100") << program << oneAndTwo << QList<int> { 1500, 0, 0, 0, 0 } << 100;
    QTest::newRow("never below 100") << QList<int> { 100, 130 } << QList<bool> { true, true } << QList<int> { 0, 0 }
                                     << 100;
    QTest::newRow("long period kept whole")
        << QList<int> { 200000 } << QList<bool> { true } << QList<int> { 0 } << 200000;
}

void TestTimerList::period()
{
    QFETCH(QList<int>, intervals);
    QFETCH(QList<bool>, enabled);
    QFETCH(QList<int>, ages);
    QFETCH(int, expected);

    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, intervals);
    for (qsizetype i = 0; i < enabled.size(); ++i)
        events[static_cast<std::size_t>(i)]->SetEnabled(enabled[i]);
    const std::uint32_t now = T0 + 100000;
    for (qsizetype i = 0; i < enabled.size(); ++i) {
        if (!enabled[i])
            continue;
        w.ticks.Set(now - static_cast<std::uint32_t>(ages[i]));
        events[static_cast<std::size_t>(i)]->SetEnabled(false);
        events[static_cast<std::size_t>(i)]->SetEnabled(true);
    }
    w.ticks.Set(now);
    w.timers.ClearLog();
    w.list.RecomputePeriod(now);
    w.list.ArmTimer();

    QCOMPARE(w.list.TickPeriod(), expected);
    QCOMPARE(int(w.timers.Starts().back()), std::min(expected, 65535));
    QVERIFY(w.list.Active());
}

void TestTimerList::periodWithoutEnabledEvents()
{
    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000, 5000 });
    QVERIFY(w.timers.Running());
    events[0]->SetEnabled(false);
    events[1]->SetEnabled(false);
    w.list.RecomputePeriod(w.ticks.TickCount());
    QCOMPARE(w.list.TickPeriod(), 0);
    w.list.ArmTimer();
    QVERIFY(!w.list.Active());
    QVERIFY(!w.timers.WindowExists());

    // Without any event at all.
    World empty;
    empty.list.RecomputePeriod(empty.ticks.TickCount());
    QCOMPARE(empty.list.TickPeriod(), 0);
}

void TestTimerList::periodAcrossWrapAround()
{
    World w(0xFFFFFFF6u); // 10 ms before the count wraps
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000, 5000, 60000, 1000, 1000 });
    for (std::size_t i = 2; i < events.size(); ++i)
        events[i]->SetEnabled(false);
    events[0]->SetEnabled(false);
    events[0]->SetEnabled(true); // switched on at 0xFFFFFFF6
    w.ticks.Set(0);
    w.list.RecomputePeriod(0);
    QCOMPARE(w.list.TickPeriod(), 100);
}

void TestTimerList::tolerance_data()
{
    QTest::addColumn<int>("stillToGo");
    QTest::addColumn<bool>("fires");
    QTest::newRow("40 ms to go: fires") << 40 << true;
    QTest::newRow("50 ms to go: fires") << 50 << true;
    QTest::newRow("60 ms to go: waits") << 60 << false;
    QTest::newRow("due: fires") << 0 << true;
}

void TestTimerList::tolerance()
{
    QFETCH(int, stillToGo);
    QFETCH(bool, fires);

    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000 });
    int fired = 0;
    events[0]->OnTimer = [&](TRxTimerEvent&) { ++fired; };
    w.ticks.Set(events[0]->LastFireTick() + 1000 - static_cast<std::uint32_t>(stillToGo));
    QVERIFY(w.timers.Tick());
    QCOMPARE(fired, fires ? 1 : 0);
    if (fires)
        QCOMPARE(events[0]->LastFireTick(), w.ticks.TickCount());
}

void TestTimerList::oneShot()
{
    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 500, 1000 });
    TRxTimerEvent& shot = *events[1];
    shot.SetEnabled(false);
    shot.SetCycled(false);
    shot.SetRepeatCount(1);

    int fired = 0;
    bool enabledInside = true;
    shot.OnTimer = [&](TRxTimerEvent& sender) {
        QCOMPARE(&sender, &shot);
        ++fired;
        enabledInside = sender.Enabled();
    };
    shot.SetEnabled(true);
    QCOMPARE(w.list.TickPeriod(), 500);
    QCOMPARE(w.timers.Elapse(999), 1);
    QCOMPARE(fired, 0);
    w.timers.ClearLog();
    QCOMPARE(w.timers.Elapse(1), 1);
    QCOMPARE(fired, 1);
    QVERIFY(!enabledInside);
    QVERIFY(!shot.Enabled());
    QCOMPARE(shot.FireCount(), 1);
    // The tick that switched it off recomputed the period and re-armed the timer.
    QCOMPARE(w.timers.Log(), (std::vector<std::string> { "stop", "start 500" }));

    w.timers.Elapse(5000);
    QCOMPARE(fired, 1);
    QVERIFY(w.list.Active());
}

void TestTimerList::lastOneShotStopsTheList()
{
    World w;
    int finished = 0;
    w.list.OnFinish = [&](TRxTimerList& sender) {
        QCOMPARE(&sender, &w.list);
        ++finished;
    };
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000 });
    events[0]->SetCycled(false);
    events[0]->SetRepeatCount(1);
    QCOMPARE(w.timers.Elapse(3000), 1);
    QVERIFY(!w.list.Active());
    QVERIFY(!w.timers.WindowExists());
    QCOMPARE(finished, 1);

    // A list that stopped itself stays off: switching an event on recomputes but arms nothing.
    w.timers.ClearLog();
    events[0]->SetEnabled(true);
    QCOMPARE(w.list.TickPeriod(), 1000);
    QVERIFY(w.timers.Log().empty());
    QVERIFY(!w.list.Active());
}

void TestTimerList::enabledRestartRules()
{
    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000 });
    TRxTimerEvent& e = *events[0];
    const std::uint32_t start = e.LastFireTick();
    w.timers.Elapse(2000);
    QCOMPARE(e.FireCount(), 2);

    // Already on: nothing restarts, nothing is recomputed.
    w.ticks.Advance(600);
    w.timers.ClearLog();
    e.SetEnabled(true);
    QCOMPARE(e.FireCount(), 2);
    QCOMPARE(e.LastFireTick(), start + 2000);
    QVERIFY(w.timers.Log().empty());

    // Off only clears the flag.
    e.SetEnabled(false);
    QVERIFY(w.timers.Log().empty());
    QCOMPARE(e.FireCount(), 2);
    QCOMPARE(e.LastFireTick(), start + 2000);

    // Off and on again: a full new period from now.
    e.SetEnabled(true);
    QCOMPARE(e.FireCount(), 0);
    QCOMPARE(e.LastFireTick(), w.ticks.TickCount());
    QCOMPARE(w.timers.Log(), (std::vector<std::string> { "stop", "start 1000" }));
}

void TestTimerList::intervalRules()
{
    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000 });
    TRxTimerEvent& e = *events[0];
    w.ticks.Advance(300);
    const std::uint32_t last = e.LastFireTick();

    w.timers.ClearLog();
    e.SetInterval(50);
    QCOMPARE(e.Interval(), 100);
    QCOMPARE(w.timers.Log(), (std::vector<std::string> { "stop", "start 100" }));
    QCOMPARE(e.LastFireTick(), last); // counts from the last firing or switch-on

    w.timers.ClearLog();
    e.SetInterval(100);
    QCOMPARE(e.Interval(), 100);
    QVERIFY(w.timers.Log().empty());

    // 2000 set 300 ms after the switch-on: 1700 still to wait, 1700 → 1400 → 800 → 400.
    e.SetInterval(2000);
    QCOMPARE(w.list.TickPeriod(), 400);
}

void TestTimerList::repeatCountRules()
{
    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000, 1000 });
    TRxTimerEvent& once = *events[0];
    once.SetEnabled(false);
    once.SetCycled(false);
    once.SetRepeatCount(0); // equal to the current value: nothing
    QCOMPARE(once.RepeatCount(), 0);
    once.SetRepeatCount(-3);
    QCOMPARE(once.RepeatCount(), 1);
    once.SetRepeatCount(5);
    once.SetRepeatCount(0);
    QCOMPARE(once.RepeatCount(), 1);

    TRxTimerEvent& cycled = *events[1];
    w.timers.Elapse(3000);
    QCOMPARE(cycled.FireCount(), 3);
    cycled.SetRepeatCount(4);
    QVERIFY(cycled.Enabled());
    cycled.SetRepeatCount(3);
    QVERIFY(!cycled.Enabled());
    QCOMPARE(cycled.RepeatCount(), 3);
    QCOMPARE(cycled.FireCount(), 3);

    // Non-cycled with RepeatCount 2 fires twice.
    once.SetRepeatCount(2);
    once.SetEnabled(true);
    w.timers.Elapse(5000);
    QCOMPARE(once.FireCount(), 2);
    QVERIFY(!once.Enabled());
}

void TestTimerList::firingOrder()
{
    FormWorld w;
    std::vector<int> order;
    std::vector<int> allTimers;
    TRxTimerEvent* const events[]
        = { &w.RxTimerEvent1, &w.RxTimerEvent2, &w.RxTimerEvent3, &w.RxTimerEvent4, &w.RxTimerEvent5 };
    for (TRxTimerEvent* e : events)
        e->OnTimer = [&order](TRxTimerEvent& sender) { order.push_back(sender.Handle()); };
    w.list.OnTimers = [&](TRxTimerList&, std::int32_t handle) { allTimers.push_back(handle); };

    // Events 1 (1000) and 2 (5000) both due at +5000: event 2 first.
    QCOMPARE(w.timers.Elapse(4999), 4);
    order.clear();
    allTimers.clear();
    QCOMPARE(w.timers.Elapse(1), 1);
    QCOMPARE(order, (std::vector<int> { 2, 1 }));
    QCOMPARE(allTimers, order);

    // All five due in one tick: 5, 4, 3, 2, 1 (list order unchanged by the new intervals).
    w.RxTimerEvent3.SetInterval(10000);
    w.RxTimerEvent3.SetEnabled(true);
    w.RxTimerEvent4.SetInterval(10000);
    w.RxTimerEvent4.SetEnabled(true);
    w.RxTimerEvent5.SetInterval(10000);
    w.RxTimerEvent5.SetEnabled(true);
    order.clear();
    w.timers.Elapse(9999);
    order.clear();
    w.timers.Elapse(1);
    QCOMPARE(order, (std::vector<int> { 5, 4, 3, 2, 1 }));
}

// As the watcher does: RxTimerEvent2 switches itself off and on inside its handler. It fires
// before RxTimerEvent1 in the same walk, so the recomputation finds event 1 due now and the
// period drops to 100 ms; nothing recomputes it afterwards (no event was switched off).
void TestTimerList::watcherSwitchOnInsideWalk()
{
    FormWorld w;
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
}

void TestTimerList::tickWrapAround()
{
    World w(0xFFFFFF00u);
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000 });
    std::vector<std::uint32_t> firedAt;
    events[0]->OnTimer = [&](TRxTimerEvent& e) { firedAt.push_back(e.LastFireTick()); };
    w.timers.Elapse(3000);
    QCOMPARE(firedAt, (std::vector<std::uint32_t> { 0x000002E8u, 0x000006D0u, 0x00000AB8u }));
    QCOMPARE(w.list.TickPeriod(), 1000);

    // Early by 40 ms across the wrap.
    World v(0xFFFFFFF0u);
    v.list.SetActive(true);
    Events others = JoinEvents(v, { 1000 });
    v.ticks.Set(0xFFFFFFF0u + 960u);
    v.timers.Tick();
    QCOMPARE(others[0]->FireCount(), 1);
}

void TestTimerList::chunksAboveMaxPeriod()
{
    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 200000 });
    const std::uint32_t start = events[0]->LastFireTick();
    std::vector<std::uint32_t> firedAt;
    events[0]->OnTimer = [&](TRxTimerEvent& e) { firedAt.push_back(e.LastFireTick() - start); };
    QCOMPARE(w.list.TickPeriod(), 200000);
    QCOMPARE(w.list.ServedSpan(), 65535);
    QCOMPARE(w.timers.Period(), 65535);

    w.timers.ClearLog();
    QCOMPARE(w.timers.Elapse(199999), 3);
    QVERIFY(firedAt.empty());
    QCOMPARE(w.timers.Period(), 200000 - 3 * 65535);
    QCOMPARE(w.list.ServedSpan(), 0);
    QCOMPARE(w.timers.Elapse(1), 1);
    QCOMPARE(firedAt, (std::vector<std::uint32_t> { 200000 }));
    // The next period starts over with a full chunk.
    QCOMPARE(w.timers.Period(), 65535);
    QCOMPARE(w.list.ServedSpan(), 65535);
    w.timers.Elapse(200000);
    QCOMPARE(firedAt, (std::vector<std::uint32_t> { 200000, 400000 }));
    const std::vector<std::uint16_t> expected { 65535, 65535, 3395, 65535, 65535, 65535, 3395, 65535 };
    QCOMPARE(w.timers.Starts(), expected);

    // A recomputation in the middle of the chunks starts a new period from that moment.
    w.timers.Elapse(100000);
    events[0]->SetInterval(150000); // 50000 still to wait from its last firing
    QCOMPARE(w.list.TickPeriod(), 50000);
    QCOMPARE(w.list.ServedSpan(), 0);
    w.timers.Elapse(50000);
    QCOMPARE(firedAt.back(), std::uint32_t { 550000 });
}

void TestTimerList::nestedTicks()
{
    FormWorld w;
    int pumpsDone = 0;
    bool deadlineInside = false;
    int event1Fires = 0;
    std::vector<std::uint32_t> event1Ticks;
    w.RxTimerEvent1.OnTimer = [&](TRxTimerEvent& e) {
        ++event1Fires;
        event1Ticks.push_back(e.LastFireTick());
    };
    bool deadline = false;
    w.RxTimerEvent5.OnTimer = [&](TRxTimerEvent&) { deadline = true; };
    // The mail check: arms the reply deadline and waits by pumping, with time going on.
    w.RxTimerEvent4.OnTimer = [&](TRxTimerEvent& e) {
        e.SetEnabled(false);
        w.RxTimerEvent5.SetInterval(20000);
        w.RxTimerEvent5.SetEnabled(true);
        deadline = false;
        while (!deadline && pumpsDone < 100) {
            w.timers.Elapse(500); // delivers the list's ticks inside this handler
            ++pumpsDone;
        }
        deadlineInside = deadline;
        e.SetEnabled(true);
    };
    w.RxTimerEvent4.SetInterval(60000);
    w.RxTimerEvent4.SetEnabled(true);
    const std::uint32_t start = w.ticks.TickCount();

    w.timers.Elapse(60000);
    QVERIFY(deadlineInside);
    QCOMPARE(pumpsDone, 40); // 20000 ms in steps of 500
    QVERIFY(!w.RxTimerEvent5.Enabled());
    QCOMPARE(w.RxTimerEvent5.FireCount(), 1);
    QVERIFY(w.RxTimerEvent4.Enabled());
    QVERIFY(w.list.Active());
    QCOMPARE(w.list.CountEnabled(), 3);
    QVERIFY(w.timers.Running());
    // Event 1 went on firing inside the handler, once a second, never twice on one tick.
    for (std::size_t i = 1; i < event1Ticks.size(); ++i)
        QVERIFY(event1Ticks[i] - event1Ticks[i - 1] >= 950);
    QCOMPARE(w.ticks.TickCount() - start, std::uint32_t { 80000 });
    QVERIFY(event1Fires >= 79 && event1Fires <= 80);

    // A tick delivered from inside a handler by the fake itself.
    World v;
    v.list.SetActive(true);
    Events events = JoinEvents(v, { 1000, 1000 });
    int inner = 0;
    int depth = 0;
    int maxDepth = 0;
    events[1]->OnTimer = [&](TRxTimerEvent&) {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (depth == 1) {
            v.ticks.Advance(1000);
            v.timers.Tick();
        }
        --depth;
    };
    events[0]->OnTimer = [&](TRxTimerEvent&) { ++inner; };
    v.ticks.Advance(1000);
    v.timers.Tick();
    QCOMPARE(maxDepth, 2);
    QCOMPARE(events[1]->FireCount(), 2);
    QCOMPARE(events[0]->FireCount(), 1); // fired by the inner tick; the outer walk finds it not due
    QCOMPARE(inner, 1);
}

void TestTimerList::throwingHandler()
{
    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000, 1000, 1000 });
    int before = 0;
    events[0]->OnTimer = [&](TRxTimerEvent&) { ++before; };
    bool thrown = false;
    events[1]->OnTimer = [&](TRxTimerEvent&) {
        if (!thrown) {
            thrown = true;
            throw EKronvikError("Handler failed");
        }
    };
    events[2]->SetCycled(false);
    events[2]->SetRepeatCount(1);
    int handles = 0;
    w.list.OnTimers = [&](TRxTimerList&, std::int32_t) { ++handles; };

    w.timers.ClearLog();
    QCOMPARE(w.timers.Elapse(1000), 1);
    QCOMPARE(w.errors, QStringList { "Handler failed" });
    QVERIFY(!events[2]->Enabled()); // fired first and switched off ...
    QVERIFY(w.timers.Log().empty()); // ... but nothing was recomputed or re-armed
    QCOMPARE(before, 0); // the rest of the walk was abandoned
    QCOMPARE(handles, 1); // OnTimers ran for event 3 only
    QVERIFY(w.list.Active());

    // The next tick examines them all again.
    QCOMPARE(w.timers.Elapse(1000), 1);
    QCOMPARE(before, 1);
    QCOMPARE(w.errors.size(), 1);
    QCOMPARE(events[1]->FireCount(), 2);
    QVERIFY(w.list.Active());
}

void TestTimerList::startRefusedWhileRunning()
{
    World w;
    int finished = 0;
    w.list.OnFinish = [&](TRxTimerList&) { ++finished; };
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000, 5000 });
    events[1]->SetEnabled(false);
    w.timers.refuseStart = true;
    try {
        events[1]->SetEnabled(true);
        QFAIL("no error");
    } catch (const EOutOfResources& e) {
        QCOMPARE(QString::fromUtf8(e.what()), QString("Not enough timers available"));
    }
    QVERIFY(!w.list.Active());
    QVERIFY(!w.timers.WindowExists());
    QCOMPARE(finished, 1);
}

void TestTimerList::startRefusedAtActivation()
{
    World w;
    Events events = JoinEvents(w, { 1000 });
    QVERIFY(!w.timers.WindowExists());
    w.timers.refuseStart = true;
    QVERIFY_THROWS_EXCEPTION(EOutOfResources, w.list.SetActive(true));
    QVERIFY(!w.list.Active());
    QVERIFY(!w.timers.WindowExists());

    w.timers.refuseStart = false;
    w.list.SetActive(true);
    QVERIFY(w.list.Active());
    QCOMPARE(w.timers.Period(), 1000);
}

void TestTimerList::startRefusedInsideTick()
{
    World w;
    w.list.SetActive(true);
    Events events = JoinEvents(w, { 1000 });
    events[0]->OnTimer = [&](TRxTimerEvent& e) {
        w.timers.refuseStart = true;
        e.SetInterval(2000);
    };
    QCOMPARE(w.timers.Elapse(5000), 1);
    QCOMPARE(w.errors, QStringList { "Not enough timers available" });
    QVERIFY(!w.list.Active());
}

void TestTimerList::formTimers()
{
    FormWorld w;
    QVERIFY(!w.list.Loading());
    QVERIFY(w.list.Active());
    QCOMPARE(w.list.Events(),
             (std::vector<TRxTimerEvent*> { &w.RxTimerEvent1, &w.RxTimerEvent2, &w.RxTimerEvent3, &w.RxTimerEvent4,
                                            &w.RxTimerEvent5 }));
    struct Row
    {
        TRxTimerEvent* event;
        int handle;
        int interval;
        bool cycled;
        int repeatCount;
        bool enabled;
    };
    const Row rows[] = {
        { &w.RxTimerEvent1, 1, 1000, true, 0, true },    { &w.RxTimerEvent2, 2, 5000, true, 0, true },
        { &w.RxTimerEvent3, 3, 60000, false, 1, false }, { &w.RxTimerEvent4, 4, 1000, true, 0, false },
        { &w.RxTimerEvent5, 5, 1000, false, 1, false },
    };
    for (const Row& row : rows) {
        QCOMPARE(row.event->Handle(), row.handle);
        QCOMPARE(row.event->Interval(), row.interval);
        QCOMPARE(row.event->Cycled(), row.cycled);
        QCOMPARE(row.event->RepeatCount(), row.repeatCount);
        QCOMPARE(row.event->Enabled(), row.enabled);
        QCOMPARE(row.event->ParentList(), &w.list);
    }
    QCOMPARE(w.list.TickPeriod(), 1000);
    QCOMPARE(w.timers.Period(), 1000);
    QCOMPARE(w.list.CountEnabled(), 2);
    QCOMPARE(w.errors, QStringList {});
}

void TestTimerList::stopListWhileLoading()
{
    World w;
    w.list.BeginLoading();
    w.list.SetActive(true); // no events yet: zero period, but the list stays active
    QVERIFY(w.list.Active());
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
}

void TestTimerList::addAndRemoveEvent()
{
    World w;
    w.list.SetActive(true);
    int fired = 0;
    const std::int32_t first = w.list.AddEvent([&](TRxTimerEvent&) { ++fired; }, 50, false);
    const std::int32_t second = w.list.AddEvent({}, 3000, true);
    QCOMPARE(first, 1);
    QCOMPARE(second, 2);
    QCOMPARE(w.list.Events().size(), std::size_t { 2 });
    QCOMPARE(w.list.Events()[0]->Interval(), 100);
    QVERIFY(!w.list.Events()[0]->Cycled());
    QCOMPARE(w.list.TickPeriod(), 100);

    w.list.RemoveEvent(first);
    QCOMPARE(w.list.Events().size(), std::size_t { 1 });
    QCOMPARE(w.list.TickPeriod(), 3000);
    QCOMPARE(w.timers.Period(), 3000);
    w.list.RemoveEvent(77); // none: nothing
    QCOMPARE(w.list.Events().size(), std::size_t { 1 });

    // An event owned elsewhere is only detached.
    TRxTimerEvent outside(w.ticks);
    const std::int32_t third = w.list.JoinList(outside);
    QCOMPARE(third, 3);
    w.list.RemoveEvent(third);
    QCOMPARE(outside.ParentList(), nullptr);
    QCOMPARE(w.list.HandleCounter(), 3);
}

void TestTimerList::destructionOrder()
{
    // As on the form: the events go first and leave the list; the list then stops.
    {
        World w;
        int finished = 0;
        w.list.OnFinish = [&](TRxTimerList&) { ++finished; };
        {
            Events events = JoinEvents(w, { 1000, 2000 });
            w.list.SetActive(true);
        }
        QVERIFY(w.list.Events().empty());
        QVERIFY(w.list.Active());
        w.list.SetActive(false);
        QCOMPARE(finished, 1);
    }
    // The other way round: the list goes first and leaves the events alone, parentless.
    {
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
}

// ---------------------------------------------------------------------------------------------
// The real binding: Qt timers on this thread's event loop.

void TestTimerList::realTicksNest()
{
    QtTimerService service;
    int depth = 0;
    int maxDepth = 0;
    int ticks = 0;
    int innerTicks = 0;
    bool pumped = false;
    std::unique_ptr<PlatformTimer> timer = service.CreateTimer([&] {
        ++ticks;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (depth > 1)
            ++innerTicks;
        if (!pumped) {
            pumped = true;
            PumpUntil([&] { return innerTicks >= 5; }, 3000);
        }
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

void TestTimerList::realTimerDestroyedInsideTick()
{
    QtTimerService service;
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

void TestTimerList::realListReplyDeadlineInsideHandler()
{
    MonotonicTickSource ticks;
    QtTimerService service;
    QStringList errors;
    TRxTimerList list(ticks, service, [&](const std::exception& e) { errors << e.what(); });
    TRxTimerEvent pump(ticks);
    TRxTimerEvent check(ticks);
    TRxTimerEvent deadline(ticks);
    list.BeginLoading();
    list.SetActive(true);
    pump.SetParentList(&list);
    check.SetParentList(&list);
    deadline.SetParentList(&list);
    pump.SetInterval(100);
    check.SetInterval(300);
    deadline.SetInterval(200);
    deadline.SetCycled(false);
    deadline.SetRepeatCount(1);
    deadline.SetEnabled(false);
    list.EndLoading();

    int pumpFires = 0;
    int pumpFiresInside = 0;
    bool deadlineFired = false;
    bool deadlineInside = false;
    bool checked = false;
    pump.OnTimer = [&](TRxTimerEvent&) { ++pumpFires; };
    deadline.OnTimer = [&](TRxTimerEvent&) { deadlineFired = true; };
    check.OnTimer = [&](TRxTimerEvent& e) {
        e.SetEnabled(false);
        deadline.SetEnabled(true);
        const int pumpBefore = pumpFires;
        deadlineInside = PumpUntil([&] { return deadlineFired; }, 3000);
        pumpFiresInside = pumpFires - pumpBefore;
        checked = true;
    };

    QVERIFY(PumpUntil([&] { return checked; }, 5000));
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

QTEST_GUILESS_MAIN(TestTimerList)
#include "TimerListTest.moc"
