#include "components/RxTrayIcon.h"

#include "components/TimerThread.h"
#include "tests/fakes/FakeNotificationArea.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <atomic>
#include <memory>

using Icon = NotificationIcon;

// The new-mail icon: what reaches the notification area, the frames its worker steps through on
// the user-interface thread, and the worker's stops, restarts and end with the component.
class RxTrayIconTest final : public QObject
{
    Q_OBJECT

private slots:
    void framesFollowInListOrder();
    void whatIsShown_data();
    void whatIsShown();
    void hiddenIconStepsNothingUntilShownAgain();
    void stopAndRestartWithinOneInterval();
    void destroyedWhileAnimating();
    void workerWithoutIntervalDoesNotSpin();
    void mouseMessagesBecomeClicks_data();
    void mouseMessagesBecomeClicks();
};

namespace {

// The program's own three frames.
TIconList MailFrames()
{
    QFile file(QStringLiteral(":/kronvik/RxTrayIcon1.Icons"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("the frames resource is missing");
    TIconList frames;
    frames.ReadData(file.readAll());
    return frames;
}

struct World
{
    World()
        : icon(std::make_unique<TRxTrayIcon>(area, [this](const std::exception& error) { errors << error.what(); }))
    { }

    FakeNotificationArea::Icon& Tray() const { return *area.icons.first(); }
    // The frame numbers of the images the tray was given, in order (-1: none of the frames).
    QList<int> Shown(const TIconList& frames) const
    {
        QList<int> shown;
        for (qint64 key : Tray().images) {
            int frame = -1;
            for (int i = 0; i < frames.Count(); ++i)
                if (frames.Items(i).cacheKey() == key)
                    frame = i;
            shown << frame;
        }
        return shown;
    }

    FakeNotificationArea area;
    QStringList errors;
    std::unique_ptr<TRxTrayIcon> icon;
};

} // namespace

void RxTrayIconTest::framesFollowInListOrder()
{
    World world;
    TRxTrayIcon& icon = *world.icon;
    const TIconList frames = MailFrames();
    icon.SetActive(false);
    icon.SetIcons(frames);
    icon.SetInterval(1000);
    icon.SetHint(QStringLiteral("You have new Email! Click here to see details."));
    world.area.calls.clear();

    // As a check that finds mail does it: animation first, then the icon.
    icon.SetAnimated(true);
    QVERIFY(icon.Animated());
    QVERIFY(world.area.calls.isEmpty());
    icon.SetActive(true);
    QCOMPARE(world.area.calls, QStringList({ "remove", "add:You have new Email! Click here to see details." }));

    QTRY_VERIFY_WITH_TIMEOUT(world.Tray().images.size() >= 5, 10000);
    QCOMPARE(world.Shown(frames).mid(0, 5), QList<int>({ 0, 1, 2, 0, 1 }));
    QVERIFY(world.errors.isEmpty());
}

void RxTrayIconTest::whatIsShown_data()
{
    QTest::addColumn<bool>("withFrames");
    QTest::addColumn<bool>("withStillIcon");
    QTest::addColumn<bool>("animated");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("expectAnimated");
    QTest::addColumn<QStringList>("expectedCalls");

    const QString long64 = QString(64, QLatin1Char('x'));
    QTest::newRow("animated without frames stays off, no still picture: nothing")
        << false << false << true << "tip" << false << QStringList { "remove" };
    QTest::newRow("active without animation or still picture: nothing")
        << true << false << false << "tip" << false << QStringList { "remove" };
    QTest::newRow("still picture without animation")
        << true << true << false << "tip" << false << QStringList { "remove", "add:tip" };
    QTest::newRow("only the short part of the hint")
        << true << false << true << "short|long part" << true << QStringList { "remove", "add:short" };
    QTest::newRow("a tip is cut to 63 characters")
        << true << false << true << long64 << true << QStringList { "remove", "add:" + long64.left(63) };
}

void RxTrayIconTest::whatIsShown()
{
    QFETCH(bool, withFrames);
    QFETCH(bool, withStillIcon);
    QFETCH(bool, animated);
    QFETCH(QString, hint);
    QFETCH(bool, expectAnimated);
    QFETCH(QStringList, expectedCalls);

    World world;
    TRxTrayIcon& icon = *world.icon;
    // Loaded as the form data does it: the properties first, the icon only at the end.
    icon.BeginLoading();
    icon.SetActive(false);
    if (withFrames)
        icon.SetIcons(MailFrames());
    if (withStillIcon)
        icon.SetIcon(MailFrames().Items(2));
    icon.SetHint(hint);
    icon.SetInterval(60000);
    icon.Loaded();
    QVERIFY(world.area.calls.isEmpty());

    icon.SetAnimated(animated);
    icon.SetActive(true);
    QCOMPARE(icon.Animated(), expectAnimated);
    QCOMPARE(world.area.calls, expectedCalls);
    QCOMPARE(icon.Added(), expectedCalls.size() > 1);
}

void RxTrayIconTest::hiddenIconStepsNothingUntilShownAgain()
{
    World world;
    TRxTrayIcon& icon = *world.icon;
    const TIconList frames = MailFrames();
    icon.SetIcons(frames);
    icon.SetInterval(100);
    icon.SetActive(false);
    icon.SetAnimated(true);
    QTest::qWait(350);
    QVERIFY(world.Tray().images.isEmpty());

    icon.SetActive(true);
    QTRY_VERIFY_WITH_TIMEOUT(world.Tray().images.size() >= 2, 5000);
    icon.SetActive(false);
    const qsizetype hiddenAt = world.Tray().images.size();
    QTest::qWait(350);
    QCOMPARE(world.Tray().images.size(), hiddenAt);
    QVERIFY(icon.Animated());

    // Back in the tray at the frame it left off, and on from there.
    icon.SetActive(true);
    QTRY_VERIFY_WITH_TIMEOUT(world.Tray().images.size() >= hiddenAt + 2, 5000);
    const QList<int> shown = world.Shown(frames);
    for (qsizetype i = 1; i < shown.size(); ++i)
        QVERIFY2(shown[i] == shown[i - 1] || shown[i] == (shown[i - 1] + 1) % 3, "frames out of order");
}

void RxTrayIconTest::stopAndRestartWithinOneInterval()
{
    World world;
    TRxTrayIcon& icon = *world.icon;
    const TIconList frames = MailFrames();
    icon.SetIcons(frames);
    icon.SetInterval(200);
    icon.SetActive(false);
    icon.SetAnimated(true);
    icon.SetActive(true);
    QTRY_VERIFY_WITH_TIMEOUT(world.Tray().images.size() >= 2, 5000);

    // A click, then new mail at once: the old worker must not end the new animation.
    icon.SetActive(false);
    icon.SetAnimated(false);
    QVERIFY(!icon.Animated());
    world.Tray().images.clear();
    icon.SetAnimated(true);
    icon.SetActive(true);
    QTest::qWait(700);
    QVERIFY(icon.Animated());
    // One worker steps: at most frame 0 and three steps in 700 ms, not twice as many.
    QVERIFY2(world.Tray().images.size() <= 5, qPrintable(QString::number(world.Tray().images.size())));
    QTRY_VERIFY_WITH_TIMEOUT(world.Tray().images.size() >= 4, 10000);
    QCOMPARE(world.Shown(frames).mid(0, 4), QList<int>({ 0, 1, 2, 0 }));
    QVERIFY(icon.Animated());
}

void RxTrayIconTest::destroyedWhileAnimating()
{
    // The worker steps as fast as it can; steps are still on their way when the icon goes.
    for (int round = 0; round < 20; ++round) {
        World world;
        world.icon->SetIcons(MailFrames());
        world.icon->SetInterval(1);
        world.icon->SetAnimated(true);
        world.icon->SetActive(true);
        QTest::qWait(round % 5);
        world.icon.reset();
        QCoreApplication::processEvents();
        QCOMPARE(world.area.calls.last(), QStringLiteral("remove"));
        QVERIFY(world.area.icons.isEmpty());
    }
}

void RxTrayIconTest::workerWithoutIntervalDoesNotSpin()
{
    std::atomic<int> steps = 0;
    QElapsedTimer clock;
    clock.start();
    {
        TTimerThread worker(0, false, [&steps] { ++steps; });
        QTest::qSleep(100);
    }
    QVERIFY2(steps <= clock.elapsed() + 1, qPrintable(QString::number(steps)));
}

void RxTrayIconTest::mouseMessagesBecomeClicks_data()
{
    QTest::addColumn<QList<int>>("messages");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("left press and release: one click")
        << QList<int> { Icon::LeftButtonDown, Icon::LeftButtonUp } << QStringList { "click 0 900,10" };
    QTest::newRow("right release without a menu: a right click")
        << QList<int> { Icon::RightButtonDown, Icon::RightButtonUp } << QStringList { "click 1 900,10" };
    QTest::newRow("double-click: a click per release around it")
        << QList<int> { Icon::LeftButtonDown, Icon::LeftButtonUp, Icon::LeftButtonDoubleClick, Icon::LeftButtonUp }
        << QStringList { "click 0 900,10", "double", "click 0 900,10" };
    QTest::newRow("moves, middle button, right double-click: nothing")
        << QList<int> { Icon::MouseMove, Icon::MiddleButtonDown, Icon::MiddleButtonUp, Icon::RightButtonDoubleClick }
        << QStringList {};
}

void RxTrayIconTest::mouseMessagesBecomeClicks()
{
    QFETCH(QList<int>, messages);
    QFETCH(QStringList, expected);

    World world;
    QStringList events;
    world.icon->OnClick = [&events](TRxTrayIcon&, TMouseButton button, unsigned shift, int x, int y) {
        events << QStringLiteral("click %1 %2,%3").arg(button).arg(x).arg(y);
        QCOMPARE(shift, 0u);
        throw EKronvikError("handler failed");
    };
    world.icon->OnDblClick = [&events](TRxTrayIcon&) { events << QStringLiteral("double"); };
    for (int message : messages)
        world.Tray().Press({ message });
    QCOMPARE(events, expected);
    // What a handler raises goes to the error box; the icon keeps working.
    QCOMPARE(world.errors.size(), events.filter(QStringLiteral("click")).size());
}

QTEST_MAIN(RxTrayIconTest)
#include "RxTrayIconTest.moc"
