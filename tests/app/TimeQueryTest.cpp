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
    void ntpAnswers_data();
    void ntpAnswers();
    void secondDoubleClickWhilePendingStartsNothing();
    void queryWhileStillConnectedTimesOutAndStartsClean();
    void mailClientErrorLeavesThePendingQuery();
    void shutdownWithAPendingQueryShowsNothing();
    void refusedClockChangeIsReportedButCounts();
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
    QTest::addColumn<bool>("nearMidnight"); // the clock runs from a millisecond before midnight

    const TimeZoneInformation utc { TimeZoneId::Standard, 0, 0, 0 };
    const TimeZoneInformation west3 { TimeZoneId::Standard, 180, 0, 0 };
    const TimeZoneInformation west3Summer { TimeZoneId::Daylight, 180, 0, -60 };
    const TimeZoneInformation kolkata { TimeZoneId::Standard, -330, 0, 0 };
    QTest::newRow("UTC mode, RFC 868's 1983 example")
        << QByteArray("1") << west3 << QByteArray("\x9C\xBC\x44\x80") << SystemTime { 1983, 5, 1, 0, 0, 0, 0 } << false;
    QTest::newRow("local mode, bias 180") << QByteArray("0") << west3 << QByteArray("\x9C\xBC\x44\x80")
                                          << SystemTime { 1983, 4, 30, 21, 0, 0, 0 } << false;
    QTest::newRow("local mode, daylight bias 120") << QByteArray("0") << west3Summer << QByteArray("\x9C\xBC\x44\x80")
                                                   << SystemTime { 1983, 4, 30, 22, 0, 0, 0 } << false;
    QTest::newRow("local mode east of UTC, no daylight saving")
        << QByteArray("0") << kolkata << QByteArray("\x83\xAA\x7E\x80") << SystemTime { 1970, 1, 1, 5, 30, 0, 0 }
        << false;
    QTest::newRow("largest value is not negative")
        << QByteArray("0") << utc << QByteArray("\xFF\xFF\xFF\xFF") << SystemTime { 2036, 2, 7, 6, 28, 15, 0 } << false;
    QTest::newRow("local midnight passes meanwhile")
        << QByteArray("1") << utc << QByteArray("\x9C\xBC\x44\x80") << SystemTime { 1983, 5, 1, 0, 0, 0, 0 } << true;
}

void TimeQueryTest::replySetsTheClock()
{
    QFETCH(QByteArray, timeMode);
    QFETCH(TimeZoneInformation, zone);
    QFETCH(QByteArray, reply);
    QFETCH(SystemTime, expected);
    QFETCH(bool, nearMidnight);

    QueryWorld world("127.0.0.1", timeMode);
    world.clock.SetZone(zone);
    world.clock.SetNow({ 2026, 12, 7, 23, 59, 59, 998 });
    world.clock.Run(nearMidnight ? 1 : 0);
    const winsock::Socket socket = world.GetTime();
    TSetupForm& form = *world.form;
    QVERIFY(form.State.Busy);
    QVERIFY(form.RxTimerEvent3.Enabled());
    QVERIFY(world.sockets.Calls().contains(QStringLiteral("connect %1 127.0.0.1:37").arg(socket)));

    world.sockets.Deliver(socket, FdConnect);
    world.Reply(socket, reply);

    QCOMPARE(world.clock.Sets(), std::vector<SystemTime> { expected });
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
    QTest::newRow("NTP server's name does not resolve")
        << QByteArray("ntp://nowhere.invalid") << 0 << "11001: Host not found";
}

void TimeQueryTest::connectionErrorsEndTheQueryOnce()
{
    QFETCH(QByteArray, server);
    QFETCH(int, connectError);
    QFETCH(QString, message);

    QueryWorld world(server);
    const winsock::Socket socket = world.GetTime();
    world.datagrams.FinishLookUps();
    QCoreApplication::sendPostedEvents(); // the TCP client's look-up's answer
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

void TimeQueryTest::ntpAnswers_data()
{
    QTest::addColumn<QByteArray>("patch"); // "offset:hex ..." over a good answer; no hex: cut there
    QTest::addColumn<uint>("fromAddress");
    QTest::addColumn<int>("fromPort");
    QTest::addColumn<SystemTime>("set"); // nothing set when the answer is refused
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<int>("requests"); // after a second "Get time"

    const uint server = 0xC0000201;
    const SystemTime none {};
    const auto refused = [&](const char* name, const char* patch, const QString& text, int requests = 2) {
        QTest::newRow(name) << QByteArray(patch) << server << 123 << none << text << requests;
    };
    QTest::newRow("half the round trip") << QByteArray() << server << 123 << SystemTime { 1983, 5, 1, 0, 0, 0, 20 }
                                         << QString() << 2;
    QTest::newRow("less the server's own time") << QByteArray("32:9cbc447ff851eb85") << server << 123
                                                << SystemTime { 1983, 5, 1, 0, 0, 0, 5 } << QString() << 2;
    refused("not our request", "24:0000000000000001", "It does not answer Kronvik's request.");
    refused("client mode", "0:23", "It is not a server's answer (mode 3).");
    refused("version 0", "0:04", "Its NTP version 0 is not supported.");
    refused("version 5", "0:2c", "Its NTP version 5 is not supported.");
    refused("kiss INIT", "1:00 12:494e4954", "The server sent the kiss code INIT.");
    const QString stop
        = QStringLiteral("The server sent the kiss code %1: Kronvik leaves it alone until it is started again.");
    refused("kiss RATE", "1:00 12:52415445", stop.arg("RATE"), 1);
    refused("kiss DENY", "1:00 12:44454e59", stop.arg("DENY"), 1);
    refused("not synchronised", "0:e4", "The server's clock is not synchronised.");
    refused("no time", "40:0000000000000000", "It carries no time.");
    refused("too short", "47:", "It is too short for an NTP message (47 bytes).");
    QTest::newRow("another port") << QByteArray() << server << 124 << none
                                  << "It came from 192.0.2.1:124, not from the server asked (192.0.2.1:123)." << 2;
    QTest::newRow("another address") << QByteArray() << server + 1 << 123 << none
                                     << "It came from 192.0.2.2:123, not from the server asked (192.0.2.1:123)." << 2;
}

void TimeQueryTest::ntpAnswers()
{
    QFETCH(QByteArray, patch);
    QFETCH(uint, fromAddress);
    QFETCH(int, fromPort);
    QFETCH(SystemTime, set);
    QFETCH(QString, refusal);
    QFETCH(int, requests);

    QueryWorld world("ntp://ntp.example.test");
    world.GetTime();
    world.datagrams.FinishLookUps();
    QCOMPARE(world.datagrams.sent.size(), size_t(1));
    const auto& [request, to] = world.datagrams.sent.front();
    QCOMPARE(to, (DatagramPeer { 0xC0000201, 123 }));
    QCOMPARE(request.toHex().left(2), QByteArray("23")); // version 4, client
    QByteArray answer = QByteArray::fromHex("240200000000000000000000") + "LOCL" + QByteArray(8, '\0')
        + request.mid(40, 8) + QByteArray::fromHex("9cbc4480000000009cbc448000000000");
    for (const QByteArray& change : patch.split(' ')) {
        const QList<QByteArray> at = change.split(':');
        const QByteArray bytes = QByteArray::fromHex(at.value(1));
        if (at.size() == 2)
            answer = answer.left(at[0].toInt()) + bytes
                + (bytes.isEmpty() ? "" : answer.mid(at[0].toInt() + bytes.size()));
    }
    world.ticks.Advance(40);
    world.datagrams.Deliver({ answer, { fromAddress, static_cast<std::uint16_t>(fromPort) }, 0xC0000209 });

    QCOMPARE(world.clock.Sets(), refusal.isEmpty() ? std::vector<SystemTime> { set } : std::vector<SystemTime> {});
    QCOMPARE(world.boxes.warnings,
             refusal.isEmpty() ? QStringList()
                               : QStringList { "The time server's answer cannot be used:\r\n\r\n" + refusal });
    QCOMPARE(world.form->State.TimeObtained, refusal.isEmpty());
    QCOMPARE(world.form->State.LastTimeAddress, refusal.isEmpty() ? QStringLiteral("192.0.2.9") : QString());
    QVERIFY(!world.form->State.Busy);
    QVERIFY(!world.form->RxTimerEvent3.Enabled());
    world.GetTime();
    world.datagrams.FinishLookUps();
    QCOMPARE(world.datagrams.sent.size(), size_t(requests));
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

void TimeQueryTest::mailClientErrorLeavesThePendingQuery()
{
    QueryWorld world;
    const winsock::Socket socket = world.GetTime();
    world.sockets.Deliver(socket, FdConnect);

    TTCPClient& mail = world.form->TCPClient2;
    mail.OnError(&mail, 10054, QStringLiteral("Connection reset by peer"));

    QCOMPARE(world.boxes.warnings,
             QStringList { "Winsock has reported the following error:\r\n\r\n10054: Connection reset by peer" });
    QCOMPARE(world.form->TCPClient1.State(), ssConnected);
    QVERIFY(world.form->State.Busy);
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

void TimeQueryTest::refusedClockChangeIsReportedButCounts()
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
    // The server answered: the launcher runs for this connection all the same.
    QVERIFY(world.form->State.TimeObtained);
    QVERIFY(!world.form->State.Busy);
    QCOMPARE(world.form->State.LastTimeAddress, QStringLiteral("192.0.2.9"));
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
