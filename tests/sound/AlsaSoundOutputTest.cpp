#include "platform/linux/sound/AlsaSoundOutput.h"

#include "app/Alerts.h"
#include "platform/linux/sound/WaveData.h"
#include "tests/sound/LittleEndian.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <alsa/asoundlib.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray Chunk(const QByteArray& id, const QByteArray& body)
{
    return id + Le(static_cast<std::uint32_t>(body.size()), 4) + body + QByteArray(body.size() % 2, '\0');
}

QByteArray Format(int tag, int channels, int rate, int bits)
{
    const int frame = channels * bits / 8;
    return Chunk("fmt ", Le(tag, 2) + Le(channels, 2) + Le(rate, 4) + Le(rate * frame, 4) + Le(frame, 2) + Le(bits, 2));
}

QByteArray Riff(const QByteArray& chunks)
{
    return "RIFF" + Le(static_cast<std::uint32_t>(chunks.size() + 4), 4) + "WAVE" + chunks;
}

} // namespace

class AlsaSoundOutputTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_capture;
    QString m_pipe;
    QByteArray m_captureConfig;
    QByteArray m_pipeConfig;

    // Writes the capture configuration for this output file; returns the value for
    // ALSA_CONFIG_PATH, or nothing when it could not be written.
    QByteArray WriteConfig(const QString& name, const QString& output)
    {
        QFile peer(QStringLiteral(KRONVIK_ASOUNDRC_CAPTURE));
        QFile file(m_dir.filePath(name));
        if (!peer.open(QIODevice::ReadOnly) || !file.open(QIODevice::WriteOnly))
            return {};
        const QByteArray config = peer.readAll().replace("@CAPTURE_FILE@", QFile::encodeName(output));
        return file.write(config) == config.size() ? "/usr/share/alsa/alsa.conf:" + QFile::encodeName(file.fileName())
                                                   : QByteArray();
    }

    // Waits until the capture holds this wave's samples followed by nothing but silence; returns
    // what went wrong, or an empty text.
    QString WaitForCapture(const QByteArray& wave)
    {
        const QByteArray samples = wave.mid(44);
        QByteArray data;
        for (int attempt = 0; attempt < 500 && !samples.isEmpty(); ++attempt) {
            QFile file(m_capture);
            if (file.open(QIODevice::ReadOnly)) {
                const QByteArray captured = file.readAll();
                const std::optional<WaveData> format = ParseWave(captured);
                data = captured.mid(44);
                if (format && format->channels == 1 && format->sampleRate == 11025 && format->bitsPerSample == 8
                    && format->dataOffset == 44 && data.startsWith(samples)
                    && data.mid(samples.size()).count('\x80') == data.size() - samples.size())
                    return {};
            }
            QThread::msleep(10);
        }
        return QStringLiteral("captured %1 bytes of data, expected %2 then silence")
            .arg(data.size())
            .arg(samples.size());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_capture = m_dir.filePath("captured.wav");
        m_pipe = m_dir.filePath("pipe.wav");
        QVERIFY(mkfifo(QFile::encodeName(m_pipe).constData(), 0600) == 0);
        m_captureConfig = WriteConfig("asoundrc", m_capture);
        m_pipeConfig = WriteConfig("asoundrc-pipe", m_pipe);
        QVERIFY(!m_captureConfig.isEmpty() && !m_pipeConfig.isEmpty());
        // Only this process sees it: the default device becomes a file writer, no sound card needed.
        qputenv("ALSA_CONFIG_PATH", m_captureConfig);
        // A reader that gives up on the capture pipe must fail the test, not end the process.
        std::signal(SIGPIPE, SIG_IGN);
    }

    void parseWave_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<int>>("expected"); // channels, bits, data offset, frames; empty: rejected
        const QByteArray samples(100, '\x80');
        const QByteArray mono = Format(1, 1, 11025, 8);
        const QByteArray good = Riff(mono + Chunk("data", samples));
        const auto format = [&](int tag, int channels, int bits) {
            return Riff(Format(tag, channels, 11025, bits) + Chunk("data", samples));
        };
        QTest::newRow("8-bit mono") << good << QList { 1, 8, 44, 100 };
        QTest::newRow("16-bit stereo") << format(1, 2, 16) << QList { 2, 16, 44, 25 };
        QTest::newRow("odd chunk before data is padded")
            << Riff(mono + Chunk("LIST", "abc") + Chunk("data", samples)) << QList { 1, 8, 56, 100 };
        QTest::newRow("partial last frame ignored")
            << Riff(Format(1, 2, 8000, 16) + Chunk("data", samples.left(98))) << QList { 2, 16, 44, 24 };
        QTest::newRow("float") << format(3, 1, 32) << QList<int>();
        QTest::newRow("extensible") << format(0xfffe, 1, 16) << QList<int>();
        QTest::newRow("12 bits") << format(1, 1, 12) << QList<int>();
        QTest::newRow("no channels") << format(1, 0, 8) << QList<int>();
        QTest::newRow("data before format") << Riff(Chunk("data", samples) + mono) << QList<int>();
        QTest::newRow("no data") << Riff(mono) << QList<int>();
        QTest::newRow("data runs past the end") << good.chopped(1) << QList<int>();
        QTest::newRow("not RIFF") << "RIFX" + good.mid(4) << QList<int>();
        QTest::newRow("empty") << QByteArray() << QList<int>();
    }
    void parseWave()
    {
        QFETCH(QByteArray, file);
        const std::optional<WaveData> wave = ParseWave(file);
        QList<int> found;
        if (wave)
            found = { wave->channels, wave->bitsPerSample, int(wave->dataOffset), int(wave->frameCount) };
        QTEST(found, "expected");
    }

    void deviceCount()
    {
        AlsaSoundOutput output;
        QVERIFY(output.PlaybackDeviceCount() >= 1);
        QVERIFY2(!QFile::exists(m_capture), "counting must not play");
        int card = -1;
        if (snd_card_next(&card) == 0 && card >= 0)
            QSKIP("a sound card is present, so there is always a device");
        // With ALSA's own configuration alone and no card, "default" leads nowhere: the program beeps.
        qputenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf");
        const int count = output.PlaybackDeviceCount();
        qputenv("ALSA_CONFIG_PATH", m_captureConfig);
        QCOMPARE(count, 0);
    }

    void playsResource_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        int code = 0;
        for (const char* name : { "WAV_ERR", "WAV_OK", "WAV_MAIL", "WAV_ZOLB" })
            QTest::newRow(name) << ++code << QString(name);
    }
    void playsResource()
    {
        QFETCH(int, code);
        QFETCH(QString, name);
        QFile::remove(m_capture);
        AlsaSoundOutput output;
        TAlerts(output).Alert(code);
        const QString error = WaitForCapture(SoundResource(name));
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void newAlertStopsThePlayingOne()
    {
        // Through a pipe nobody reads yet, opening the device blocks until the reader comes: the
        // calls must return before that, and the first sound, still opening, must give way.
        qputenv("ALSA_CONFIG_PATH", m_pipeConfig);
        const auto restore = qScopeGuard([this] { qputenv("ALSA_CONFIG_PATH", m_captureConfig); });
        // Should a caller wait for the device after all, a reader comes after a second to end the wait.
        std::atomic<int> reader { -1 };
        const auto openReader = [&] {
            const int fd = open(QFile::encodeName(m_pipe).constData(), O_RDONLY | O_NONBLOCK);
            int none = -1;
            if (!reader.compare_exchange_strong(none, fd))
                close(fd);
        };
        std::thread rescue([&] {
            for (int i = 0; i < 100 && reader.load() < 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            openReader();
        });

        AlsaSoundOutput output;
        TAlerts alerts(output);
        QElapsedTimer timer;
        timer.start();
        alerts.Alert(2);
        const qint64 first = timer.elapsed();
        QThread::msleep(200); // the worker takes up the first sound and gets stuck opening the device
        timer.restart();
        alerts.Alert(3);
        const qint64 second = timer.elapsed();
        openReader();
        rescue.join();
        const int fd = reader.load();
        QVERIFY(fd >= 0);
        const auto closeReader = qScopeGuard([fd] { close(fd); });
        QVERIFY2(first < 300 && second < 300, qPrintable(QStringLiteral("%1 ms, %2 ms").arg(first).arg(second)));

        const QByteArray mail = SoundResource("WAV_MAIL").mid(44);
        QByteArray stream;
        char buffer[4096];
        for (int attempt = 0; attempt < 500 && !stream.contains(mail); ++attempt) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got > 0)
                stream.append(buffer, got);
            else
                QThread::msleep(10);
        }
        QVERIFY2(stream.contains(mail), qPrintable(QStringLiteral("read %1 bytes").arg(stream.size())));
        QVERIFY(!stream.contains(SoundResource("WAV_OK").mid(44)));
    }

    void destroyingWhilePlayingEndsPromptly()
    {
        auto output = std::make_unique<AlsaSoundOutput>();
        output->PlayWave(SoundResource("WAV_MAIL"));
        QElapsedTimer timer;
        timer.start();
        output.reset();
        // The sound lasts 2.6 s; ending must not wait for it.
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_GUILESS_MAIN(AlsaSoundOutputTest)
#include "AlsaSoundOutputTest.moc"
