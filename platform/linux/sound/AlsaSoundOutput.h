#pragma once

#include "platform/SoundOutput.h"

#include <QByteArray>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Plays through ALSA's "default" device on a worker thread of its own, so that neither opening
// a missing or busy device nor the length of a sound ever holds up the caller.
class AlsaSoundOutput final : public SoundOutput
{
public:
    AlsaSoundOutput();
    // Stops the sound playing and waits for the worker, which checks for this every few ms.
    ~AlsaSoundOutput() override;
    AlsaSoundOutput(const AlsaSoundOutput&) = delete;
    AlsaSoundOutput& operator=(const AlsaSoundOutput&) = delete;

    // Sound cards with a playback device; without any, 1 when "default" opens for playback
    // (a sound server, or a configuration such as a file writer) and 0 otherwise.
    int PlaybackDeviceCount() override;
    void PlayWave(const QByteArray& wave) override;
    void Beep() override;

private:
    void Run();
    void Play(const QByteArray& wave);
    bool Interrupted();
    // Waits a little for the device; returns at once when a new request or the end comes.
    void Pause();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<QByteArray> m_next;
    bool m_stopping = false;
    bool m_deviceOpen = false;
    std::thread m_worker;
};
