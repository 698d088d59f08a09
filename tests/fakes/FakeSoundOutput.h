#pragma once

#include "app/Alerts.h"
#include "platform/SoundOutput.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// A sound output that plays nothing and remembers what it was asked to play.
class FakeSoundOutput final : public SoundOutput
{
public:
    explicit FakeSoundOutput(int deviceCount = 1)
        : m_deviceCount(deviceCount)
    { }

    int PlaybackDeviceCount() override { return m_deviceCount; }
    void PlayWave(const QByteArray& wave) override { m_played.append(wave); }
    void Beep() override { ++m_beeps; }

    void SetDeviceCount(int count) { m_deviceCount = count; }
    const QList<QByteArray>& Played() const { return m_played; }
    int Beeps() const { return m_beeps; }

    // The names of the built-in resources played, in order; "?" for bytes that are none of them.
    QStringList PlayedNames() const
    {
        static const QStringList known { "WAV_ERR", "WAV_OK", "WAV_MAIL", "WAV_ZOLB" };
        QStringList names;
        for (const QByteArray& wave : m_played) {
            QString name = QStringLiteral("?");
            for (const QString& candidate : known) {
                if (SoundResource(candidate) == wave)
                    name = candidate;
            }
            names.append(name);
        }
        return names;
    }

private:
    int m_deviceCount;
    QList<QByteArray> m_played;
    int m_beeps = 0;
};
