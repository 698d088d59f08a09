#pragma once

#include "platform/SystemClock.h"

#include <cstdint>
#include <optional>

// systemd's time service (org.freedesktop.timedate1) on the system bus. It sets the clock for a
// program without CAP_SYS_TIME once polkit allows it; polkit asks the user through the desktop's
// authentication agent, as the desktops' own date and time settings do.
class TimedateService final
{
public:
    // Moves the clock on by `microseconds` (back when negative). The program's messages go on
    // while the service, and perhaps the user, decide. Nothing when no such service answers.
    std::optional<ClockResult> MoveClock(std::int64_t microseconds);
};
