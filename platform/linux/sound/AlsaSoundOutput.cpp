#include "platform/linux/sound/AlsaSoundOutput.h"

#include "platform/linux/sound/WaveData.h"

#include <QApplication>

#include <alsa/asoundlib.h>
#include <chrono>
#include <memory>

namespace {

constexpr int MaxCards = 32;
constexpr int MaxDevicesPerCard = 32;
constexpr unsigned LatencyUs = 100000;
constexpr auto PauseStep = std::chrono::milliseconds(10);
constexpr auto StallMargin = std::chrono::seconds(1);

struct PcmClose
{
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmClose>;

struct CtlClose
{
    void operator()(snd_ctl_t* ctl) const { snd_ctl_close(ctl); }
};
using Ctl = std::unique_ptr<snd_ctl_t, CtlClose>;

// Failures of sound are reported to nobody; ALSA would print each one, on every alert.
void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) { }

// Opens without waiting: a device held by another program fails at once instead of blocking.
Pcm OpenDefault()
{
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return nullptr;
    return Pcm(pcm);
}

bool CardCanPlay(int card)
{
    snd_ctl_t* raw = nullptr;
    const QByteArray name = "hw:" + QByteArray::number(card);
    if (snd_ctl_open(&raw, name.constData(), SND_CTL_NONBLOCK) < 0)
        return false;
    const Ctl ctl(raw);
    snd_pcm_info_t* info = nullptr;
    snd_pcm_info_alloca(&info);
    int device = -1;
    for (int i = 0; i < MaxDevicesPerCard && snd_ctl_pcm_next_device(raw, &device) == 0 && device >= 0; ++i) {
        snd_pcm_info_set_device(info, static_cast<unsigned>(device));
        snd_pcm_info_set_subdevice(info, 0);
        snd_pcm_info_set_stream(info, SND_PCM_STREAM_PLAYBACK);
        if (snd_ctl_pcm_info(raw, info) >= 0)
            return true;
    }
    return false;
}

snd_pcm_format_t AlsaFormat(int bitsPerSample)
{
    switch (bitsPerSample) {
    case 8:
        return SND_PCM_FORMAT_U8;
    case 16:
        return SND_PCM_FORMAT_S16_LE;
    case 24:
        return SND_PCM_FORMAT_S24_3LE;
    default:
        return SND_PCM_FORMAT_S32_LE;
    }
}

} // namespace

AlsaSoundOutput::AlsaSoundOutput()
    : m_worker(&AlsaSoundOutput::Run, this)
{
    snd_lib_error_set_handler(IgnoreAlsaError);
}

AlsaSoundOutput::~AlsaSoundOutput()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

int AlsaSoundOutput::PlaybackDeviceCount()
{
    int count = 0;
    int card = -1;
    for (int i = 0; i < MaxCards && snd_card_next(&card) == 0 && card >= 0; ++i) {
        if (CardCanPlay(card))
            ++count;
    }
    if (count > 0)
        return count;
    {
        // While the worker holds "default", a second open may be refused though it plays fine.
        const std::lock_guard lock(m_mutex);
        if (m_deviceOpen)
            return 1;
    }
    return OpenDefault() ? 1 : 0;
}

void AlsaSoundOutput::PlayWave(const QByteArray& wave)
{
    {
        const std::lock_guard lock(m_mutex);
        m_next = wave;
    }
    m_wake.notify_all();
}

void AlsaSoundOutput::Beep()
{
    QApplication::beep();
}

void AlsaSoundOutput::Run()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stopping || m_next.has_value(); });
        if (m_stopping)
            return;
        const QByteArray wave = std::move(*m_next);
        m_next.reset();
        lock.unlock();
        Play(wave);
        lock.lock();
        m_deviceOpen = false;
    }
}

bool AlsaSoundOutput::Interrupted()
{
    const std::lock_guard lock(m_mutex);
    return m_stopping || m_next.has_value();
}

void AlsaSoundOutput::Pause()
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, PauseStep, [this] { return m_stopping || m_next.has_value(); });
}

void AlsaSoundOutput::Play(const QByteArray& wave)
{
    const std::optional<WaveData> format = ParseWave(wave);
    if (!format)
        return;
    const Pcm pcm = OpenDefault();
    if (!pcm)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_deviceOpen = true;
    }
    if (snd_pcm_set_params(pcm.get(), AlsaFormat(format->bitsPerSample), SND_PCM_ACCESS_RW_INTERLEAVED,
                           static_cast<unsigned>(format->channels), format->sampleRate, 1, LatencyUs)
        < 0)
        return;

    // A device that stops taking samples must not keep the worker from new requests for long.
    const auto length = std::chrono::milliseconds(format->frameCount * 1000 / format->sampleRate);
    const auto deadline = std::chrono::steady_clock::now() + length + StallMargin;
    const char* next = wave.constData() + format->dataOffset;
    auto left = static_cast<snd_pcm_uframes_t>(format->frameCount);
    while (left > 0 && std::chrono::steady_clock::now() < deadline) {
        if (Interrupted()) {
            snd_pcm_drop(pcm.get());
            return;
        }
        const snd_pcm_sframes_t written = snd_pcm_writei(pcm.get(), next, left);
        if (written == -EAGAIN) {
            snd_pcm_wait(pcm.get(), static_cast<int>(PauseStep.count()));
        } else if (written < 0) {
            if (snd_pcm_recover(pcm.get(), static_cast<int>(written), 1) < 0)
                return;
        } else {
            next += written * format->FrameBytes();
            left -= static_cast<snd_pcm_uframes_t>(written);
        }
    }

    // Without blocking, draining only starts here; the sound ends while we watch for new requests.
    snd_pcm_drain(pcm.get());
    while (snd_pcm_state(pcm.get()) == SND_PCM_STATE_DRAINING && std::chrono::steady_clock::now() < deadline) {
        if (Interrupted())
            break;
        Pause();
    }
    snd_pcm_drop(pcm.get());
}
