#include "app/Alerts.h"

#include "tests/fakes/FakeSoundOutput.h"
#include "tests/sound/LittleEndian.h"

#include <QTest>

#include <cstdint>

class AlertsTest : public QObject
{
    Q_OBJECT

private slots:
    void resourceIsCanonicalWave_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::newRow("error") << "WAV_ERR" << 7832;
        QTest::newRow("clock set") << "WAV_OK" << 14524;
        QTest::newRow("new mail") << "WAV_MAIL" << 28808;
        QTest::newRow("About box") << "WAV_ZOLB" << 18986;
    }
    void resourceIsCanonicalWave()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        const QByteArray wave = SoundResource(name);
        QCOMPARE(wave.size(), size);
        // PCM, mono, 11025 Hz, 8 bits.
        QCOMPARE(wave.left(44),
                 "RIFF" + Le(size - 8, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(1, 2) + Le(11025, 4) + Le(11025, 4)
                     + Le(1, 2) + Le(8, 2) + "data" + Le(size - 44, 4));
        // Starting and ending at the silent middle value keeps the speaker from clicking; the rest
        // must be loud enough to hear.
        const auto level = [&](int i) { return qAbs(static_cast<int>(static_cast<std::uint8_t>(wave[i])) - 128); };
        QVERIFY(level(44) <= 2 && level(size - 1) <= 2);
        int peak = 0;
        for (int i = 44; i < size; ++i)
            peak = qMax(peak, level(i));
        QVERIFY2(peak > 64, qPrintable(QString::number(peak)));
        // The sizes differ anyway; the sounds must differ over their common length too.
        for (const char* other : { "WAV_ERR", "WAV_OK", "WAV_MAIL", "WAV_ZOLB" }) {
            const QByteArray sound = SoundResource(other);
            const qsizetype common = qMin(sound.size(), wave.size()) - 44;
            QVERIFY(name == other || sound.mid(44, common) != wave.mid(44, common));
        }
        for (const char* unknown : { "WAV_NONE", "", "wav_err" })
            QVERIFY(SoundResource(unknown).isEmpty());
    }

    void codeMapping_data()
    {
        QTest::addColumn<int>("devices");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("played"); // empty: the system beep
        for (int code = 0; code <= 4; ++code)
            QTest::addRow("no device, code %d", code) << 0 << code << QString();
        for (int code : { 0, 5, -1 })
            QTest::addRow("device, code %d", code) << 1 << code << QString();
        QTest::newRow("error") << 1 << 1 << "WAV_ERR";
        QTest::newRow("clock set") << 1 << 2 << "WAV_OK";
        QTest::newRow("new mail") << 1 << 3 << "WAV_MAIL";
        QTest::newRow("About box") << 2 << 4 << "WAV_ZOLB";
    }
    void codeMapping()
    {
        QFETCH(int, devices);
        QFETCH(int, code);
        QFETCH(QString, played);
        FakeSoundOutput output(devices);
        TAlerts(output).Alert(code);
        QCOMPARE(output.Beeps(), played.isEmpty() ? 1 : 0);
        QCOMPARE(output.PlayedNames(), played.isEmpty() ? QStringList() : QStringList { played });
    }
};

QTEST_GUILESS_MAIN(AlertsTest)
#include "AlertsTest.moc"
