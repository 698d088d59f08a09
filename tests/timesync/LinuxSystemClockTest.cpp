#include "platform/linux/clock/LinuxSystemClock.h"

#include "timesync/ClockSetting.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <time.h>

// Runs only with the virtual clock preloaded (libtimeshim.so, TIMESHIM_LOG set): every clock
// change lands in the shim's log and the process then reads the new time.
class TestLinuxSystemClock final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void zoneInForce_data();
    void zoneInForce();
    void setLocalTime_data();
    void setLocalTime();
    void dateAndTimeInOneChange();
    void impossibleRecordIsRejected_data();
    void impossibleRecordIsRejected();
    void refusedChangeIsReported();

private:
    [[nodiscard]] static bool UseZone(const char* zone, const char* utcNow);
    QStringList Changes() const;

    QString m_log;
};

void TestLinuxSystemClock::initTestCase()
{
    if (!dlsym(RTLD_DEFAULT, "timeshim_loaded"))
        QFAIL("libtimeshim.so is not preloaded: this test would set the real clock");
    m_log = qEnvironmentVariable("TIMESHIM_LOG");
    QVERIFY2(!m_log.isEmpty(), "TIMESHIM_LOG is not set");
}

void TestLinuxSystemClock::cleanup()
{
    qunsetenv("TIMESHIM_ERRNO");
}

// Puts the virtual clock at `utcNow` (ISO 8601 with Z) in `zone`, and starts a fresh log.
bool TestLinuxSystemClock::UseZone(const char* zone, const char* utcNow)
{
    qputenv("TZ", zone);
    const timespec now { QDateTime::fromString(utcNow, Qt::ISODate).toSecsSinceEpoch(), 0 };
    const bool set = clock_settime(CLOCK_REALTIME, &now) == 0;
    QFile::remove(qEnvironmentVariable("TIMESHIM_LOG"));
    return set;
}

// The times of the clock changes since UseZone, as the shim logged them.
QStringList TestLinuxSystemClock::Changes() const
{
    QFile file(m_log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList changes;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("clock_settime "))
            changes << QString::fromLatin1(line.mid(14));
    return changes;
}

void TestLinuxSystemClock::zoneInForce_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QByteArray>("utcNow");
    QTest::addColumn<bool>("dst");
    QTest::addColumn<int>("bias");
    QTest::addColumn<int>("inForce");

    QTest::newRow("UTC") << QByteArray("UTC") << QByteArray("2024-01-15T12:00:00Z") << false << 0 << 0;
    QTest::newRow("Berlin winter") << QByteArray("Europe/Berlin") << QByteArray("2024-01-15T12:00:00Z") << false << -60
                                   << -60;
    QTest::newRow("Berlin summer") << QByteArray("Europe/Berlin") << QByteArray("2024-07-15T12:00:00Z") << true << -60
                                   << -120;
    QTest::newRow("New York summer") << QByteArray("America/New_York") << QByteArray("2024-07-15T12:00:00Z") << true
                                     << 300 << 240;
    // No daylight-saving rules since 2019: the zone's own offset, not 0.
    QTest::newRow("Sao Paulo") << QByteArray("America/Sao_Paulo") << QByteArray("2024-01-15T12:00:00Z") << false << 180
                               << 180;
    QTest::newRow("Kolkata") << QByteArray("Asia/Kolkata") << QByteArray("2024-07-15T12:00:00Z") << false << -330
                             << -330;
}

void TestLinuxSystemClock::zoneInForce()
{
    QFETCH(QByteArray, zone);
    QFETCH(QByteArray, utcNow);
    QFETCH(bool, dst);
    QFETCH(int, bias);
    QFETCH(int, inForce);
    QVERIFY(UseZone(zone.constData(), utcNow.constData()));

    const TimeZoneInformation info = LinuxSystemClock().GetTimeZoneInformation();

    QCOMPARE(info.id, dst ? TimeZoneId::Daylight : TimeZoneId::Standard);
    QCOMPARE(info.bias, bias);
    QCOMPARE(info.bias + (dst ? info.daylightBias : info.standardBias), inForce);
}

void TestLinuxSystemClock::setLocalTime_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("millisecond");
    QTest::addColumn<QString>("expected");

    // 2024-MM-15 12:00:00.mmm local time.
    QTest::newRow("UTC") << QByteArray("UTC") << 1 << 0 << "1705320000.000000000";
    QTest::newRow("Berlin winter") << QByteArray("Europe/Berlin") << 1 << 0 << "1705316400.000000000";
    QTest::newRow("Berlin summer") << QByteArray("Europe/Berlin") << 7 << 0 << "1721037600.000000000";
    QTest::newRow("Sao Paulo") << QByteArray("America/Sao_Paulo") << 1 << 0 << "1705330800.000000000";
    QTest::newRow("Kolkata") << QByteArray("Asia/Kolkata") << 7 << 0 << "1721025000.000000000";
    QTest::newRow("milliseconds") << QByteArray("UTC") << 1 << 250 << "1705320000.250000000";
}

void TestLinuxSystemClock::setLocalTime()
{
    QFETCH(QByteArray, zone);
    QFETCH(int, month);
    QFETCH(int, millisecond);
    QFETCH(QString, expected);
    QVERIFY(UseZone(zone.constData(), "2026-12-07T12:00:00Z"));
    LinuxSystemClock clock;
    const SystemTime time { 2024, static_cast<std::uint16_t>(month),      15, 12, 0,
                            0,    static_cast<std::uint16_t>(millisecond) };

    QVERIFY(clock.SetLocalTime(time).ok());

    QCOMPARE(Changes(), QStringList { expected });
    const SystemTime now = clock.GetLocalTime();
    QCOMPARE((SystemTime { now.year, now.month, now.day, now.hour, now.minute, 0, 0 }),
             (SystemTime { 2024, time.month, 15, 12, 0, 0, 0 }));
    QVERIFY(now.second <= 1);
}

void TestLinuxSystemClock::dateAndTimeInOneChange()
{
    QVERIFY(UseZone("Europe/Berlin", "2024-01-15T08:00:00Z"));
    LinuxSystemClock clock;
    const std::int64_t since1900 = (std::int64_t { 1705316400 } + 2208988800) * 1000 + 250; // 2024-01-15 11:00:00.250Z

    QVERIFY(SetClock(clock, since1900, TimeMode::Local).ok());

    QCOMPARE(Changes(), QStringList { "1705316400.250000000" });
}

void TestLinuxSystemClock::impossibleRecordIsRejected_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");

    QTest::newRow("month 13") << 13 << 1 << 0;
    QTest::newRow("month 0") << 0 << 1 << 0;
    QTest::newRow("February 30") << 2 << 30 << 0;
    QTest::newRow("day 0") << 1 << 0 << 0;
    QTest::newRow("hour 24") << 1 << 1 << 24;
}

void TestLinuxSystemClock::impossibleRecordIsRejected()
{
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, hour);
    QVERIFY(UseZone("UTC", "2026-12-07T12:00:00Z"));
    const SystemTime time { 2023,
                            static_cast<std::uint16_t>(month),
                            static_cast<std::uint16_t>(day),
                            static_cast<std::uint16_t>(hour),
                            0,
                            0,
                            0 };

    const ClockResult result = LinuxSystemClock().SetLocalTime(time);

    QCOMPARE(result.error, EINVAL);
    QVERIFY(Changes().isEmpty());
}

void TestLinuxSystemClock::refusedChangeIsReported()
{
    QVERIFY(UseZone("UTC", "2026-12-07T12:00:00Z"));
    qputenv("TIMESHIM_ERRNO", "1");
    LinuxSystemClock clock;

    const ClockResult result = clock.SetLocalTime({ 1983, 5, 1, 0, 0, 0, 0 });

    QCOMPARE(result.error, EPERM);
    QCOMPARE(result.message, QString::fromLocal8Bit(std::strerror(EPERM)));
    QCOMPARE(Changes(), QStringList { "420595200.000000000" });
    QCOMPARE(clock.GetLocalTime().year, std::uint16_t { 2026 });
}

QTEST_GUILESS_MAIN(TestLinuxSystemClock)
#include "LinuxSystemClockTest.moc"
