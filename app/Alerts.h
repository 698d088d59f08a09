#pragma once

#include <QByteArray>

class QString;
class SoundOutput;

// The WAVE resource built into the program under this name ("WAV_ERR", "WAV_OK", "WAV_MAIL",
// "WAV_ZOLB"); empty for any other name.
QByteArray SoundResource(const QString& name);

// The sounds that accompany what the user should notice: 1 error, 2 clock set, 3 new mail,
// 4 the About box's picture clicked.
class TAlerts final
{
public:
    explicit TAlerts(SoundOutput& output);

    // Plays the sound for the code and returns at once; any other code, or no playback device,
    // gives the system beep. Reports nothing.
    void Alert(int code);

private:
    SoundOutput& m_output;
};
