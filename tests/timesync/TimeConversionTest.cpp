#include "timesync/TimeConversion.h"

#include "tests/fakes/FakeSystemClock.h"
#include "timesync/ClockSetting.h"

#include <QDateTime>
#include <QTest>

#include <array>

namespace {

QString Format(const SystemTime& t)
{
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute, t.second,
                             t.millisecond);
}

std::array<std::uint8_t, 4> Bytes(const QByteArray& hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    Q_ASSERT(raw.size() == 4);
    std::array<std::uint8_t, 4> bytes {};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(raw[static_cast<qsizetype>(i)]);
    return bytes;
}

} // namespace

char* toString(const SystemTime& time)
{
    return QTest::toString(Format(time));
}

class TestTimeConversion final : public QObject
{
    Q_OBJECT

private slots:
    void clockTimeFromReply_data();
    void clockTimeFromReply();
    void agreesWithCalendarOverWholeRange();
    void timeBias_data();
    void timeBias();
    void dateAndTimeInOneChange();
    void refusedChangeIsReportedAndStops();
};

void TestTimeConversion::clockTimeFromReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("local");
    QTest::addColumn<int>("bias");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1983 utc ignores bias") << QByteArray("9cbc4480") << false << 180 << "1983-05-01 00:00:00.000";
    QTest::newRow("1983 local west") << QByteArray("9cbc4480") << true << 180 << "1983-04-30 21:00:00.000";
    QTest::newRow("1983 local east") << QByteArray("9cbc4480") << true << -60 << "1983-05-01 01:00:00.000";
    QTest::newRow("1983 local half hour") << QByteArray("9cbc4480") << true << -330 << "1983-05-01 05:30:00.000";
    QTest::newRow("1983 local bias 0") << QByteArray("9cbc4480") << true << 0 << "1983-05-01 00:00:00.000";
    QTest::newRow("1970 utc") << QByteArray("83aa7e80") << false << 0 << "1970-01-01 00:00:00.000";
    QTest::newRow("largest utc") << QByteArray("ffffffff") << false << 0 << "2036-02-07 06:28:15.000";
    QTest::newRow("largest local east") << QByteArray("ffffffff") << true << -60 << "2036-02-07 07:28:15.000";
    QTest::newRow("high bit is not a sign") << QByteArray("80000000") << false << 0 << "1968-01-20 03:14:08.000";
    QTest::newRow("zero is the wrap") << QByteArray("00000000") << false << 0 << "2036-02-07 06:28:16.000";
    QTest::newRow("zero local west") << QByteArray("00000000") << true << 180 << "2036-02-07 03:28:16.000";
    QTest::newRow("next era") << QByteArray("004dc880") << false << 0 << "2036-04-06 06:28:16.000";
    QTest::newRow("last of the next era") << QByteArray("7fffffff") << false << 0 << "2104-02-26 09:42:23.000";
    QTest::newRow("NTP timestamp, wrapped")
        << QByteArray("0000000080000000") << false << 0 << "2036-02-07 06:28:16.500";
    QTest::newRow("2000 has a leap day") << QByteArray("bc663340") << false << 0 << "2000-02-29 12:00:00.000";
    QTest::newRow("local across a month") << QByteArray("bc663340") << true << -720 << "2000-03-01 00:00:00.000";
}

void TestTimeConversion::clockTimeFromReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, local);
    QFETCH(int, bias);
    QFETCH(QString, expected);

    std::int64_t instant = NtpMicroseconds(reply.toULongLong(nullptr, 16)) / 1000;
    if (reply.size() == 8) {
        const std::uint32_t seconds = ReplySeconds(Bytes(reply));
        QCOMPARE(seconds, reply.toUInt(nullptr, 16));
        instant = ReplyInstant(seconds);
    }
    QCOMPARE(Format(ClockTimeFromInstant(instant, local ? TimeMode::Local : TimeMode::Utc, bias)), expected);
}

void TestTimeConversion::agreesWithCalendarOverWholeRange()
{
    const QDateTime epoch(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC);
    const auto calendar = [&](qint64 seconds) { return epoch.addSecs(seconds).toString("yyyy-MM-dd hh:mm:ss.zzz"); };
    // A prime step visits every time of day and every kind of month over the 136 years from 1968.
    for (std::uint64_t n = 0; n <= 0xffffffffu; n += 104729) {
        const auto seconds = static_cast<std::uint32_t>(n);
        const qint64 sinceEpoch
            = seconds >= 0x80000000u ? qint64 { seconds } : qint64 { seconds } + (qint64 { 1 } << 32);
        const QString utc = Format(ClockTimeFromInstant(ReplyInstant(seconds), TimeMode::Utc, 0));
        const QString local = Format(ClockTimeFromInstant(ReplyInstant(seconds), TimeMode::Local, -150));
        if (utc != calendar(sinceEpoch) || local != calendar(sinceEpoch + 150 * 60))
            QFAIL(qPrintable(QString("N = %1 gives %2 and %3").arg(seconds).arg(utc, local)));
    }
}

void TestTimeConversion::timeBias_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("bias");
    QTest::addColumn<int>("standardBias");
    QTest::addColumn<int>("daylightBias");
    QTest::addColumn<int>("expected");

    const int standardId = static_cast<int>(TimeZoneId::Standard);
    const int daylightId = static_cast<int>(TimeZoneId::Daylight);
    QTest::newRow("standard west") << standardId << 180 << 0 << -60 << 180;
    QTest::newRow("daylight west") << daylightId << 180 << 0 << -60 << 120;
    QTest::newRow("standard east") << standardId << -60 << 0 << -60 << -60;
    QTest::newRow("daylight east") << daylightId << -60 << 0 << -60 << -120;
    QTest::newRow("standard bias counts") << standardId << 300 << 10 << -60 << 310;
    QTest::newRow("unknown") << static_cast<int>(TimeZoneId::Unknown) << 180 << 0 << -60 << 0;
    QTest::newRow("invalid") << static_cast<int>(TimeZoneId::Invalid) << 180 << 0 << -60 << 0;
}

void TestTimeConversion::timeBias()
{
    QFETCH(int, id);
    QFETCH(int, bias);
    QFETCH(int, standardBias);
    QFETCH(int, daylightBias);
    QFETCH(int, expected);

    QCOMPARE(TimeBias({ static_cast<TimeZoneId>(id), bias, standardBias, daylightBias }), expected);
}

void TestTimeConversion::dateAndTimeInOneChange()
{
    FakeSystemClock clock;
    clock.SetNow({ 2026, 12, 7, 14, 34, 56, 789 });
    clock.SetZone({ TimeZoneId::Standard, 180, 0, 0 });

    const ClockResult result = SetClock(clock, ReplyInstant(0x9CBC4480), TimeMode::Local);

    QVERIFY(result.ok());
    QCOMPARE(clock.Sets(), std::vector<SystemTime>({ { 1983, 4, 30, 21, 0, 0, 0 } }));
}

void TestTimeConversion::refusedChangeIsReportedAndStops()
{
    FakeSystemClock clock;
    const SystemTime before { 2026, 12, 7, 14, 34, 56, 789 };
    clock.SetNow(before);
    clock.Refuse(EPERM);

    const ClockResult result = SetClock(clock, ReplyInstant(0x9CBC4480), TimeMode::Utc);

    QVERIFY(!result.ok());
    QCOMPARE(result.error, EPERM);
    QCOMPARE(result.message, QString::fromLocal8Bit(std::strerror(EPERM)));
    QCOMPARE(clock.Sets().size(), std::size_t { 1 });
    QCOMPARE(clock.GetLocalTime(), before);
}

QTEST_GUILESS_MAIN(TestTimeConversion)
#include "TimeConversionTest.moc"
