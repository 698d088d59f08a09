// "Get time" against a real timeserver on 127.0.0.1:37, through the kernel's sockets and the
// event loop's notifiers and timers. Only the clock and the user-facing services are fakes.
// The server is set up by time-query-live-server.sh inside a private network namespace; each
// function expects a different server there, so the script names the one it prepared:
//   replySetsTheClock           inetd's time service frozen at 1983-05-01 00:00:00 UTC
//   refusedConnectionWarnsOnce  nothing listening on port 37
//   splitReplySetsNothing       a server that sends 2 bytes, pauses, sends 2 more and closes
//   ntpServerSetsTheClock       chronyd on 127.0.0.1:123 serving a clock 100 days ahead, and
//                               systemd-timedated on a private system bus; run with the clock shim
//                               preloaded into both, TZ=UTC, the service's shim log in TIMEDATED_LOG
//   automaticSyncLeavesTheClock the same, with the NTP unit the service asks about running
#include "platform/linux/clock/LinuxSystemClock.h"
#include "platform/linux/clock/TimedateService.h"
#include "tests/timesync/LiveSocketWorld.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

class LiveServerTimeQueryTest final : public QObject
{
    Q_OBJECT

private slots:
    void replySetsTheClock_data();
    void replySetsTheClock();
    void refusedConnectionWarnsOnce();
    void splitReplySetsNothing();
    void ntpServerSetsTheClock_data();
    void ntpServerSetsTheClock();
    void automaticSyncLeavesTheClock();
};

namespace {

// Bounds every wait on the server; a query on loopback ends in milliseconds.
constexpr int WaitMs = 5000;

// The program's clock: the direct change, and the time service when that is refused.
class ServiceClock final : public SystemClock
{
public:
    TimeZoneInformation GetTimeZoneInformation() const override { return m_clock.GetTimeZoneInformation(); }
    SystemTime GetLocalTime() const override { return m_clock.GetLocalTime(); }
    ClockResult SetLocalTime(const SystemTime& time) override { return m_clock.SetLocalTime(time); }

private:
    TimedateService m_service;
    LinuxSystemClock m_clock { &m_service };
};

// The real time now, in seconds, past the shim.
double RealNow()
{
    timespec real {};
    syscall(SYS_clock_gettime, CLOCK_REALTIME, &real);
    return double(real.tv_sec) + double(real.tv_nsec) / 1e9;
}

} // namespace

void LiveServerTimeQueryTest::replySetsTheClock_data()
{
    QTest::addColumn<QByteArray>("timeMode");
    QTest::addColumn<SystemTime>("expected");

    QTest::newRow("UTC mode") << QByteArray("1") << SystemTime { 1983, 5, 1, 0, 0, 0, 0 };
    QTest::newRow("local mode, bias 180") << QByteArray("0") << SystemTime { 1983, 4, 30, 21, 0, 0, 0 };
}

void LiveServerTimeQueryTest::replySetsTheClock()
{
    QFETCH(QByteArray, timeMode);
    QFETCH(SystemTime, expected);

    LiveSocketWorld world;
    world.clock.SetZone({ TimeZoneId::Standard, 180, 0, 0 });
    TSetupForm& form = world.Start("127.0.0.1", timeMode);
    form.GettimeClick();
    QVERIFY(form.State.Busy);

    QTRY_VERIFY_WITH_TIMEOUT(form.State.TimeObtained, WaitMs);
    QCOMPARE(world.clock.Sets(), std::vector<SystemTime> { expected });
    QVERIFY(!form.State.Busy);
    QVERIFY(!form.RxTimerEvent3.Enabled());
    // The socket's own address on the connection, not whatever the host name resolves to.
    QCOMPARE(form.State.LastTimeAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(world.sound.PlayedNames(), QStringList { "WAV_OK" });

    // inetd closes after the 4 bytes, and the client follows without a word.
    QTRY_COMPARE_WITH_TIMEOUT(form.TCPClient1.State(), ssIdle, WaitMs);
    QVERIFY(world.boxes.warnings.isEmpty());
}

void LiveServerTimeQueryTest::refusedConnectionWarnsOnce()
{
    LiveSocketWorld world;
    TSetupForm& form = world.Start("127.0.0.1", "1");
    form.GettimeClick();

    QTRY_VERIFY_WITH_TIMEOUT(!world.boxes.warnings.isEmpty(), WaitMs);
    // Late notifications of the dead socket must not bring a second message.
    QTest::qWait(300);
    QCOMPARE(world.boxes.warnings,
             QStringList { "Winsock has reported the following error:\r\n\r\n10061: Connection refused" });
    QCOMPARE(world.sound.PlayedNames(), QStringList { "WAV_ERR" });
    QVERIFY(world.clock.Sets().empty());
    QCOMPARE(form.TCPClient1.State(), ssIdle);
    QVERIFY(!form.RxTimerEvent3.Enabled());
    QVERIFY(!form.State.Busy);
    QVERIFY(!form.State.TimeObtained);
}

void LiveServerTimeQueryTest::splitReplySetsNothing()
{
    LiveSocketWorld world;
    TSetupForm& form = world.Start("127.0.0.1", "1");
    form.GettimeClick();

    // The server closes right after the second half, so an idle client means both halves
    // have been read, each in its own notification.
    QTRY_COMPARE_WITH_TIMEOUT(form.TCPClient1.State(), ssIdle, WaitMs);
    QTest::qWait(100);
    QVERIFY(world.clock.Sets().empty());
    QVERIFY(!form.State.TimeObtained);
    QVERIFY(form.State.Busy);
    // Only the time-out (60 s later, not waited for here) can end this query.
    QVERIFY(form.RxTimerEvent3.Enabled());
    QVERIFY(world.boxes.warnings.isEmpty());
    QVERIFY(world.sound.PlayedNames().isEmpty());
}

void LiveServerTimeQueryTest::ntpServerSetsTheClock_data()
{
    QTest::addColumn<QByteArray>("refusal"); // of the direct change, by the shim
    QTest::addColumn<QString>("log"); // the variable naming the shim's log of the change made
    QTest::addColumn<double>("tolerance"); // seconds

    // The service first: the direct change moves this process's own clock, and the service is
    // asked to move the clock by what it lacks.
    QTest::newRow("through the time service") << QByteArray("1") << "TIMEDATED_LOG" << 0.05;
    QTest::newRow("directly") << QByteArray("0") << "TIMESHIM_LOG" << 0.005;
}

void LiveServerTimeQueryTest::ntpServerSetsTheClock()
{
    QFETCH(QByteArray, refusal);
    QFETCH(QString, log);
    QFETCH(double, tolerance);
    QVERIFY2(dlsym(RTLD_DEFAULT, "timeshim_loaded"), "libtimeshim.so is not preloaded: this would set the real clock");
    qputenv("TIMESHIM_ERRNO", refusal);
    LiveSocketWorld<ServiceClock> world;
    TSetupForm& form = world.Start("ntp://127.0.0.1", "1");
    form.GettimeClick();

    // Not QTRY: its sleeps between looks would hold the answer up unseen for milliseconds.
    const QDeadlineTimer deadline(WaitMs);
    while (form.State.Busy && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    const double now = RealNow();
    QVERIFY2(world.boxes.warnings.isEmpty(), qPrintable(world.boxes.warnings.join(u'|')));
    QVERIFY(form.State.TimeObtained);
    QCOMPARE(form.State.LastTimeAddress, QStringLiteral("127.0.0.1"));
    QFile changes(qEnvironmentVariable(log.toLatin1().constData()));
    QVERIFY(changes.open(QIODevice::ReadOnly));
    const QByteArray last = changes.readAll().trimmed().split('\n').last();
    QVERIFY2(last.startsWith("clock_settime "), last.constData());
    const double left = last.mid(14).toDouble() - now - 100 * 86400;
    QVERIFY2(std::abs(left) < tolerance, qPrintable(QStringLiteral("%1 s off chronyd's clock").arg(left)));
}

void LiveServerTimeQueryTest::automaticSyncLeavesTheClock()
{
    QVERIFY2(dlsym(RTLD_DEFAULT, "timeshim_loaded"), "libtimeshim.so is not preloaded: this would set the real clock");
    qputenv("TIMESHIM_ERRNO", "1");
    const qint64 changesBefore = QFileInfo(qEnvironmentVariable("TIMEDATED_LOG")).size();
    LiveSocketWorld<ServiceClock> world;
    TSetupForm& form = world.Start("ntp://127.0.0.1", "1");
    form.GettimeClick();

    QTRY_VERIFY_WITH_TIMEOUT(!form.State.Busy, WaitMs);
    QCOMPARE(world.boxes.warnings.size(), 1);
    QVERIFY2(world.boxes.warnings.first().contains(u"Automatic time synchronisation is on"),
             qPrintable(world.boxes.warnings.first()));
    QCOMPARE(QFileInfo(qEnvironmentVariable("TIMEDATED_LOG")).size(), changesBefore);
}

QTEST_MAIN(LiveServerTimeQueryTest)
#include "TimeQueryLiveServerTest.moc"
