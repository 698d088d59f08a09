#pragma once

class QByteArray;

// The computer's sound output: how many devices can play, asynchronous playback of WAVE files
// and the system beep. Called on the user-interface thread; no call waits for a sound to end.
class SoundOutput
{
public:
    virtual ~SoundOutput() = default;

    // The number of playback devices; 0 when the computer cannot play sound. Never fails.
    virtual int PlaybackDeviceCount() = 0;

    // Starts playing a complete RIFF/WAVE file (header included) and returns at once. A sound
    // still playing from an earlier call stops; nothing is queued. Data that cannot be played
    // (not PCM, truncated, the device missing or busy) plays nothing and reports nothing.
    virtual void PlayWave(const QByteArray& wave) = 0;

    // Sounds the system's plain beep. Never fails.
    virtual void Beep() = 0;
};
