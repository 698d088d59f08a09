#include "app/Alerts.h"

#include "platform/SoundOutput.h"

#include <QFile>
#include <QString>

QByteArray SoundResource(const QString& name)
{
    QFile file(QStringLiteral(":/WAVE/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

TAlerts::TAlerts(SoundOutput& output)
    : m_output(output)
{ }

void TAlerts::Alert(int code)
{
    static const char* const names[] = { "WAV_ERR", "WAV_OK", "WAV_MAIL", "WAV_ZOLB" };
    if (m_output.PlaybackDeviceCount() <= 0 || code < 1 || code > 4) {
        m_output.Beep();
        return;
    }
    const QByteArray wave = SoundResource(QString::fromLatin1(names[code - 1]));
    // A missing resource gives the default sound rather than silence.
    if (wave.isEmpty())
        m_output.Beep();
    else
        m_output.PlayWave(wave);
}
