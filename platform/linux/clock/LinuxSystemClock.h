#pragma once

#include "platform/SystemClock.h"

class TimedateService;

// The real-time clock and the zone from TZ or /etc/localtime. Setting the clock needs
// CAP_SYS_TIME; without it the change goes to `service` when there is one and it answers, and
// is refused with EPERM otherwise.
class LinuxSystemClock final : public SystemClock
{
public:
    explicit LinuxSystemClock(TimedateService* service = nullptr)
        : m_service(service)
    { }

    TimeZoneInformation GetTimeZoneInformation() const override;
    SystemTime GetLocalTime() const override;
    ClockResult SetLocalTime(const SystemTime& time) override;

private:
    TimedateService* m_service;
};
