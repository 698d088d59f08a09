#include "app/Alerts.h"

#include "tests/fakes/FakeSoundOutput.h"

#include <QTest>

#include <cstdint>

namespace {

std::uint32_t Le(const QByteArray& bytes, int at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

} // namespace

class AlertsTest : public QObject
{
    Q_OBJECT

private slots:
    void resourceIsCanonicalWave_data();
    void resourceIsCanonicalWave();
    void resourcesAreDistinct();
    void unknownResourceIsEmpty();
    void codeMapping_data();
    void codeMapping();
};

void AlertsTest::resourceIsCanonicalWave_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::newRow("error") << "WAV_ERR" << 7832;
    QTest::newRow("clock set") << "WAV_OK" << 14524;
    QTest::newRow("new mail") << "WAV_MAIL" << 28808;
    QTest::newRow("About box") << "WAV_ZOLB" << 18986;
}

void AlertsTest::resourceIsCanonicalWave()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    const QByteArray wave = SoundResource(name);
    QCOMPARE(wave.size(), size);
    QCOMPARE(wave.left(4), "RIFF");
    QCOMPARE(Le(wave, 4, 4), std::uint32_t(size - 8));
    QCOMPARE(wave.mid(8, 8), "WAVEfmt ");
    QCOMPARE(Le(wave, 16, 4), 16u);
    QCOMPARE(Le(wave, 20, 2), 1u); // PCM
    QCOMPARE(Le(wave, 22, 2), 1u); // channels
    QCOMPARE(Le(wave, 24, 4), 11025u);
    QCOMPARE(Le(wave, 28, 4), 11025u); // bytes per second
    QCOMPARE(Le(wave, 32, 2), 1u); // bytes per frame
    QCOMPARE(Le(wave, 34, 2), 8u);
    QCOMPARE(wave.mid(36, 4), "data");
    QCOMPARE(Le(wave, 40, 4), std::uint32_t(size - 44));

    // Starting and ending at the silent middle value keeps the speaker from clicking; the rest
    // must be loud enough to hear.
    const auto sample = [&](int i) { return static_cast<int>(static_cast<std::uint8_t>(wave[i])); };
    QVERIFY(qAbs(sample(44) - 128) <= 2);
    QVERIFY(qAbs(sample(size - 1) - 128) <= 2);
    int peak = 0;
    for (int i = 44; i < size; ++i)
        peak = qMax(peak, qAbs(sample(i) - 128));
    QVERIFY2(peak > 64, qPrintable(QString::number(peak)));
}

void AlertsTest::resourcesAreDistinct()
{
    const QByteArray sounds[]
        = { SoundResource("WAV_ERR"), SoundResource("WAV_OK"), SoundResource("WAV_MAIL"), SoundResource("WAV_ZOLB") };
    // The sizes differ anyway; the sounds must differ over their common length too.
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            const qsizetype common = qMin(sounds[i].size(), sounds[j].size()) - 44;
            QVERIFY(common > 0);
            QVERIFY(sounds[i].mid(44, common) != sounds[j].mid(44, common));
        }
    }
}

void AlertsTest::unknownResourceIsEmpty()
{
    QVERIFY(SoundResource("WAV_NONE").isEmpty());
    QVERIFY(SoundResource("").isEmpty());
    QVERIFY(SoundResource("wav_err").isEmpty());
}

void AlertsTest::codeMapping_data()
{
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("played"); // empty: the system beep

    for (int code = 1; code <= 4; ++code)
        QTest::addRow("no device, code %d", code) << 0 << code << QString();
    for (int code : { 0, 5, -1 })
        QTest::addRow("device, code %d", code) << 1 << code << QString();
    QTest::newRow("no device, code 0") << 0 << 0 << QString();
    QTest::newRow("error") << 1 << 1 << "WAV_ERR";
    QTest::newRow("clock set") << 1 << 2 << "WAV_OK";
    QTest::newRow("new mail") << 1 << 3 << "WAV_MAIL";
    QTest::newRow("About box") << 2 << 4 << "WAV_ZOLB";
}

void AlertsTest::codeMapping()
{
    QFETCH(int, devices);
    QFETCH(int, code);
    QFETCH(QString, played);

    FakeSoundOutput output(devices);
    TAlerts alerts(output);
    alerts.Alert(code);

    if (played.isEmpty()) {
        QCOMPARE(output.Beeps(), 1);
        QVERIFY(output.Played().isEmpty());
    } else {
        QCOMPARE(output.Beeps(), 0);
        QCOMPARE(output.PlayedNames(), QStringList { played });
    }
}

QTEST_GUILESS_MAIN(AlertsTest)
#include "AlertsTest.moc"
