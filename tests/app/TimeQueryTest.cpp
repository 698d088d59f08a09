#include "tests/app/FormWorld.h"

#include <QTest>

#include <cerrno>

using winsock::FdClose;
using winsock::FdConnect;
using winsock::FdRead;

// "Get time" from the tray to the clock call, against a scripted socket layer, a fake clock
// and a tick source the test moves: replies, refusals, silence and the 60-second time-out.
class TimeQueryTest final : public QObject
{
    Q_OBJECT

private slots:
    void replySetsTheClock_data();
    void replySetsTheClock();
    void splitReplySetsNothingAndTimesOut();
    void silentServerTimesOut();
    void connectionErrorsEndTheQueryOnce_data();
    void connectionErrorsEndTheQueryOnce();
    void secondDoubleClickWhilePendingStartsNothing();
    void queryWhileStillConnectedTimesOutAndStartsClean();
    void mailClientErrorEndsThePendingQuery();
    void shutdownWithAPendingQueryShowsNothing();
    void refusedClockChangeIsReported();
    void noServerOpensTheDialog();
    void nothingStartsWhileTheDialogIsUp();
};

namespace {

const QString TimeoutText = QStringLiteral(
    "Timeout Error:\r\n\r\nUnable to connect with the server.\r\nCheck the server IP and/or try again later.");

// A world with a timeserver stored and the program in the tray; GetTime() double-clicks the icon.
struct QueryWorld : FormWorld
{
    explicit QueryWorld(const QByteArray& server = "127.0.0.1", const QByteArray& timeMode = "1")
    {
        Store("Server", "Address", server);
        Store("Server", "TimeMode", timeMode);
        Start();
    }

    winsock::Socket GetTime()
    {
        const winsock::Socket socket = sockets.NextHandle();
        tray.Press({ NotificationIcon::LeftButtonDoubleClick });
        return socket;
    }

    void Reply(winsock::Socket socket, const QByteArray& bytes)
    {
        sockets.recvSteps.push_back({ bytes, 0, 0 });
        sockets.Deliver(socket, FdRead);
    }

    int Connects() const { return static_cast<int>(sockets.Calls().filter(QStringLiteral("connect ")).size()); }
};

} // namespace

void TimeQueryTest::replySetsTheClock_data()
{
    QTest::addColumn<QByteArray>("timeMode");
    QTest::addColumn<TimeZoneInformation>("zone");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<SystemTime>("expected");

    const TimeZoneInformation utc { TimeZoneId::Standard, 0, 0, 0 };
    const TimeZoneInformation west3 { TimeZoneId::Standard, 180, 0, 0 };
    const TimeZoneInformation west3Summer { TimeZoneId::Daylight, 180, 0, -60 };
    const TimeZoneInformation kolkata { TimeZoneId::Standard, -330, 0, 0 };
    QTest::newRow("UTC mode, RFC 868's 1983 example")
        << QByteArray("1") << west3 << QByteArray("\x9C\xBC\x44\x80") << SystemTime { 1983, 5, 1, 0, 0, 0, 0 };
    QTest::newRow("local mode, bias 180")
        << QByteArray("0") << west3 << QByteArray("\x9C\xBC\x44\x80") << SystemTime { 1983, 4, 30, 21, 0, 0, 0 };
    QTest::newRow("local mode, daylight bias 120")
        << QByteArray("0") << west3Summer << QByteArray("\x9C\xBC\x44\x80") << SystemTime { 1983, 4, 30, 22, 0, 0, 0 };
    QTest::newRow("local mode east of UTC, no daylight saving")
        << QByteArray("0") << kolkata << QByteArray("\x83\xAA\x7E\x80") << SystemTime { 1970, 1, 1, 5, 30, 0, 0 };
    QTest::newRow("largest value is not negative")
        << QByteArray("0") << utc << QByteArray("\xFF\xFF\xFF\xFF") << SystemTime { 2036, 2, 7, 6, 28, 15, 0 };
}

void TimeQueryTest::replySetsTheClock()
{
    QFETCH(QByteArray, timeMode);
    QFETCH(TimeZoneInformation, zone);
    QFETCH(QByteArray, reply);
    QFETCH(SystemTime, expected);

    QueryWorld world("127.0.0.1", timeMode);
    world.clock.SetZone(zone);
    const winsock::Socket socket = world.GetTime();
    TSetupForm& form = *world.form;
    QVERIFY(form.State.Busy);
    QVERIFY(form.RxTimerEvent3.Enabled());
    QVERIFY(world.sockets.Calls().contains(QStringLiteral("connect %1 127.0.0.1:37").arg(socket)));

    world.sockets.Deliver(socket, FdConnect);
    world.Reply(socket, reply);

    QCOMPARE(world.clock.Sets().size(), size_t(2)); // the date first, then the time
    QCOMPARE(world.clock.Sets().back(), expected);
    QVERIFY(form.State.TimeObtained);
    QVERIFY(!form.State.Busy);
    QVERIFY(!form.RxTimerEvent3.Enabled());
    QCOMPARE(form.State.LastTimeAddress, QStringLiteral("192.0.2.9"));
    QCOMPARE(world.sound.PlayedNames(), QStringList { "WAV_OK" });
    QVERIFY(world.boxes.warnings.isEmpty());

    // The server's close ends the connection; no message follows, not even much later.
    world.sockets.Deliver(socket, FdClose);
    QCOMPARE(form.TCPClient1.State(), ssIdle);
    world.timers.Elapse(120000);
    QVERIFY(world.boxes.warnings.isEmpty());
}

void TimeQueryTest::splitReplySetsNothingAndTimesOut()
{
    QueryWorld world;
    const winsock::Socket socket = world.GetTime();
    world.sockets.Deliver(socket, FdConnect);
    world.Reply(socket, "\x9C\xBC");
    world.timers.Elapse(1000);
    world.Reply(socket, "\x44\x80");

    QVERIFY(world.clock.Sets().empty());
    world.timers.Elapse(57000);
    QVERIFY(world.boxes.warnings.isEmpty());
    world.timers.Elapse(3000);

    QCOMPARE(world.boxes.warnings, QStringList { TimeoutText });
    QCOMPARE(world.sound.PlayedNames(), QStringList { "WAV_ERR" });
    QCOMPARE(world.form->TCPClient1.State(), ssIdle);
    QVERIFY(!world.form->State.Busy);
    QVERIFY(!world.form->State.TimeObtained);
    QCOMPARE(world.TrayTip(), TrayHint);
}

void TimeQueryTest::silentServerTimesOut()
{
    QueryWorld world;
    const winsock::Socket socket = world.GetTime();
    world.sockets.Deliver(socket, FdConnect);
    world.timers.Elapse(61000);

    QCOMPARE(world.boxes.warnings, QStringList { TimeoutText });
    QVERIFY(!world.sockets.IsOpen(socket));
}

void TimeQueryTest::connectionErrorsEndTheQueryOnce_data()
{
    QTest::addColumn<QByteArray>("server");
    QTest::addColumn<int>("connectError"); // 0: the failure comes from the name look-up
    QTest::addColumn<QString>("message");

    QTest::newRow("refused") << QByteArray("127.0.0.1") << 10061 << "10061: Connection refused";
    QTest::newRow("unreachable") << QByteArray("127.0.0.1") << 10051 << "10051: Network is unreachable";
    QTest::newRow("timed out") << QByteArray("127.0.0.1") << 10060 << "10060: Connection timed out";
    QTest::newRow("name does not resolve") << QByteArray("nowhere.invalid") << 0 << "11001: Host not found";
}

void TimeQueryTest::connectionErrorsEndTheQueryOnce()
{
    QFETCH(QByteArray, server);
    QFETCH(int, connectError);
    QFETCH(QString, message);

    QueryWorld world(server);
    const winsock::Socket socket = world.GetTime();
    QCoreApplication::sendPostedEvents(); // the look-up's answer
    if (connectError != 0)
        world.sockets.Deliver(socket, FdConnect, connectError);
    world.timers.Elapse(120000);

    QCOMPARE(world.boxes.warnings,
             QStringList { QStringLiteral("Winsock has reported the following error:\r\n\r\n") + message });
    QCOMPARE(world.sound.PlayedNames(), QStringList { "WAV_ERR" });
    QCOMPARE(world.form->TCPClient1.State(), ssIdle);
    QCOMPARE(world.sockets.OpenSockets(), 0);
    QVERIFY(!world.form->State.Busy);
    QVERIFY(!world.form->RxTimerEvent3.Enabled());
}

void TimeQueryTest::secondDoubleClickWhilePendingStartsNothing()
{
    QueryWorld world;
    world.GetTime();
    world.GetTime();
    world.form->Gettime->trigger();
    QCOMPARE(world.Connects(), 1);
}

void TimeQueryTest::queryWhileStillConnectedTimesOutAndStartsClean()
{
    QueryWorld world;
    const winsock::Socket first = world.GetTime();
    world.sockets.Deliver(first, FdConnect);
    world.Reply(first, "\x9C\xBC\x44\x80"); // the server keeps the connection open

    world.GetTime();
    QCOMPARE(world.Connects(), 1);
    world.timers.Elapse(61000);
    QCOMPARE(world.boxes.warnings, QStringList { TimeoutText });
    QCOMPARE(world.form->TCPClient1.State(), ssIdle);

    world.GetTime();
    QCOMPARE(world.Connects(), 2);
}

void TimeQueryTest::mailClientErrorEndsThePendingQuery()
{
    QueryWorld world;
    const winsock::Socket socket = world.GetTime();
    world.sockets.Deliver(socket, FdConnect);

    TTCPClient& mail = world.form->TCPClient2;
    mail.OnError(&mail, 10054, QStringLiteral("Connection reset by peer"));
    world.timers.Elapse(120000);

    QCOMPARE(world.boxes.warnings,
             QStringList { "Winsock has reported the following error:\r\n\r\n10054: Connection reset by peer" });
    QCOMPARE(world.form->TCPClient1.State(), ssIdle);
    QVERIFY(!world.form->State.Busy);
}

void TimeQueryTest::shutdownWithAPendingQueryShowsNothing()
{
    QueryWorld world;
    const winsock::Socket socket = world.GetTime();
    world.sockets.Deliver(socket, FdConnect);
    // Log-off ends the program with the query still open, and the close fails on the way out.
    world.sockets.shutdownError = 10050;
    world.form.reset();

    QVERIFY(world.boxes.warnings.isEmpty());
    QVERIFY(world.sound.Played().isEmpty());
}

void TimeQueryTest::refusedClockChangeIsReported()
{
    QueryWorld world;
    world.clock.Refuse(EPERM);
    const winsock::Socket socket = world.GetTime();
    world.sockets.Deliver(socket, FdConnect);
    world.Reply(socket, "\x9C\xBC\x44\x80");

    QCOMPARE(world.boxes.warnings.size(), 1);
    QVERIFY(world.boxes.warnings.first().startsWith("The clock could not be set:"));
    QVERIFY(world.boxes.warnings.first().contains("CAP_SYS_TIME"));
    QCOMPARE(world.sound.PlayedNames(), QStringList { "WAV_ERR" });
    QVERIFY(!world.form->State.TimeObtained);
    QVERIFY(!world.form->State.Busy);
    QVERIFY(world.form->State.LastTimeAddress.isEmpty());
    world.timers.Elapse(120000);
    QCOMPARE(world.boxes.warnings.size(), 1);
}

void TimeQueryTest::noServerOpensTheDialog()
{
    QueryWorld world;
    world.form->ui->ServerAddrEdit->clear();
    world.GetTime();

    QCOMPARE(world.Connects(), 0);
    QCOMPARE(world.sound.PlayedNames(), QStringList { "WAV_ERR" });
    QVERIFY(world.form->isVisible());
    QVERIFY(world.form->State.SetupOpened);
}

void TimeQueryTest::nothingStartsWhileTheDialogIsUp()
{
    QueryWorld world;
    world.form->SetupClick();
    world.GetTime();
    QCOMPARE(world.Connects(), 0);
    QVERIFY(world.sound.PlayedNames().isEmpty());
}

QTEST_MAIN(TimeQueryTest)
#include "TimeQueryTest.moc"
