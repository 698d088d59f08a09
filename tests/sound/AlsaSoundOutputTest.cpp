#include "platform/linux/AlsaSoundOutput.h"

#include "app/Alerts.h"
#include "platform/linux/WaveData.h"

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

QByteArray Le(std::uint32_t value, int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xff));
    return bytes;
}

QByteArray Chunk(const QByteArray& id, const QByteArray& body)
{
    QByteArray chunk = id + Le(static_cast<std::uint32_t>(body.size()), 4) + body;
    if (body.size() % 2)
        chunk.append('\0');
    return chunk;
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

bool SoundCardPresent()
{
    int card = -1;
    return snd_card_next(&card) == 0 && card >= 0;
}

} // namespace

class AlsaSoundOutputTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parseWave_data();
    void parseWave();
    void deviceCount();
    void playsResource_data();
    void playsResource();
    void newAlertStopsThePlayingOne();
    void destroyingWhilePlayingEndsPromptly();

private:
    // Waits until the capture holds these samples (followed by nothing but silence); returns
    // what went wrong, or an empty text.
    QString WaitForCapture(const QByteArray& wave);

    // Writes the capture configuration for this output file; returns the value for
    // ALSA_CONFIG_PATH, or nothing when it could not be written.
    QByteArray WriteConfig(const QString& name, const QString& output);

    QTemporaryDir m_dir;
    QString m_capture;
    QString m_pipe;
    QByteArray m_captureConfig;
    QByteArray m_pipeConfig;
};

void AlsaSoundOutputTest::initTestCase()
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

void AlsaSoundOutputTest::parseWave_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("frames");

    const QByteArray samples(100, '\x80');
    QTest::newRow("8-bit mono") << Riff(Format(1, 1, 11025, 8) + Chunk("data", samples)) << true << 1 << 8 << 44 << 100;
    QTest::newRow("16-bit stereo") << Riff(Format(1, 2, 44100, 16) + Chunk("data", samples)) << true << 2 << 16 << 44
                                   << 25;
    QTest::newRow("odd chunk before data is padded")
        << Riff(Format(1, 1, 8000, 8) + Chunk("LIST", "abc") + Chunk("data", samples)) << true << 1 << 8 << 56 << 100;
    QTest::newRow("partial last frame ignored")
        << Riff(Format(1, 2, 8000, 16) + Chunk("data", samples.left(98))) << true << 2 << 16 << 44 << 24;
    QTest::newRow("float") << Riff(Format(3, 1, 11025, 32) + Chunk("data", samples)) << false << 0 << 0 << 0 << 0;
    QTest::newRow("extensible") << Riff(Format(0xfffe, 1, 11025, 16) + Chunk("data", samples)) << false << 0 << 0 << 0
                                << 0;
    QTest::newRow("12 bits") << Riff(Format(1, 1, 11025, 12) + Chunk("data", samples)) << false << 0 << 0 << 0 << 0;
    QTest::newRow("no channels") << Riff(Format(1, 0, 11025, 8) + Chunk("data", samples)) << false << 0 << 0 << 0 << 0;
    QTest::newRow("data before format") << Riff(Chunk("data", samples) + Format(1, 1, 11025, 8)) << false << 0 << 0 << 0
                                        << 0;
    QTest::newRow("no data") << Riff(Format(1, 1, 11025, 8)) << false << 0 << 0 << 0 << 0;
    QTest::newRow("data runs past the end")
        << Riff(Format(1, 1, 11025, 8) + Chunk("data", samples)).chopped(1) << false << 0 << 0 << 0 << 0;
    QTest::newRow("not RIFF") << "RIFX" + Riff(Format(1, 1, 11025, 8) + Chunk("data", samples)).mid(4) << false << 0
                              << 0 << 0 << 0;
    QTest::newRow("empty") << QByteArray() << false << 0 << 0 << 0 << 0;
}

void AlsaSoundOutputTest::parseWave()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, valid);
    const std::optional<WaveData> wave = ParseWave(file);
    QCOMPARE(wave.has_value(), valid);
    if (!valid)
        return;
    QTEST(wave->channels, "channels");
    QTEST(wave->bitsPerSample, "bits");
    QTEST(static_cast<int>(wave->dataOffset), "offset");
    QTEST(static_cast<int>(wave->frameCount), "frames");
}

void AlsaSoundOutputTest::deviceCount()
{
    AlsaSoundOutput output;
    QVERIFY(output.PlaybackDeviceCount() >= 1);
    QVERIFY2(!QFile::exists(m_capture), "counting must not play");

    if (SoundCardPresent())
        QSKIP("a sound card is present, so there is always a device");
    // With ALSA's own configuration alone and no card, "default" leads nowhere: the program beeps.
    qputenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf");
    const int count = output.PlaybackDeviceCount();
    qputenv("ALSA_CONFIG_PATH", m_captureConfig);
    QCOMPARE(count, 0);
}

void AlsaSoundOutputTest::playsResource_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("error") << 1 << "WAV_ERR";
    QTest::newRow("clock set") << 2 << "WAV_OK";
    QTest::newRow("new mail") << 3 << "WAV_MAIL";
    QTest::newRow("About box") << 4 << "WAV_ZOLB";
}

void AlsaSoundOutputTest::playsResource()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QFile::remove(m_capture);
    AlsaSoundOutput output;
    TAlerts alerts(output);
    alerts.Alert(code);
    const QString error = WaitForCapture(SoundResource(name));
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void AlsaSoundOutputTest::newAlertStopsThePlayingOne()
{
    // Through a pipe nobody reads yet, opening the device blocks until the reader comes: the
    // calls must return before that, and the first sound, still opening, must give way.
    qputenv("ALSA_CONFIG_PATH", m_pipeConfig);
    const auto restore = qScopeGuard([this] { qputenv("ALSA_CONFIG_PATH", m_captureConfig); });

    // Should a caller wait for the device after all, a reader comes after a second to end the wait.
    const QByteArray pipe = QFile::encodeName(m_pipe);
    std::atomic<int> reader { -1 };
    const auto openReader = [&] {
        const int fd = open(pipe.constData(), O_RDONLY | O_NONBLOCK);
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
    // Time for the worker to take up the first sound and get stuck opening the device.
    QThread::msleep(200);
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
    const QByteArray ok = SoundResource("WAV_OK").mid(44);
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
    QVERIFY(!stream.contains(ok));
}

void AlsaSoundOutputTest::destroyingWhilePlayingEndsPromptly()
{
    auto output = std::make_unique<AlsaSoundOutput>();
    output->PlayWave(SoundResource("WAV_MAIL"));
    QElapsedTimer timer;
    timer.start();
    output.reset();
    // The sound lasts 2.6 s; ending must not wait for it.
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
}

QByteArray AlsaSoundOutputTest::WriteConfig(const QString& name, const QString& output)
{
    QFile peer(QStringLiteral(KRONVIK_ASOUNDRC_CAPTURE));
    if (!peer.open(QIODevice::ReadOnly))
        return {};
    const QByteArray config = peer.readAll().replace("@CAPTURE_FILE@", QFile::encodeName(output));
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size())
        return {};
    return "/usr/share/alsa/alsa.conf:" + QFile::encodeName(file.fileName());
}

QString AlsaSoundOutputTest::WaitForCapture(const QByteArray& wave)
{
    const QByteArray samples = wave.mid(44);
    if (samples.isEmpty())
        return "no samples to compare";
    QByteArray data;
    for (int attempt = 0; attempt < 500; ++attempt) {
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
    return QStringLiteral("captured %1 bytes of data, expected %2 followed by silence")
        .arg(data.size())
        .arg(samples.size());
}

QTEST_GUILESS_MAIN(AlsaSoundOutputTest)
#include "AlsaSoundOutputTest.moc"
