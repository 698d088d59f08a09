#pragma once

#include "platform/SystemClock.h"

// The real-time clock and the zone from TZ or /etc/localtime. Setting the clock needs
// CAP_SYS_TIME; without it the change is refused with EPERM.
class LinuxSystemClock final : public SystemClock
{
public:
    TimeZoneInformation GetTimeZoneInformation() const override;
    SystemTime GetLocalTime() const override;
    ClockResult SetLocalTime(const SystemTime& time) override;
};
