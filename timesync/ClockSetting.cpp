#include "timesync/ClockSetting.h"

ClockResult SetDate(SystemClock& clock, std::uint16_t year, std::uint8_t month, std::uint8_t day)
{
    SystemTime now = clock.GetLocalTime();
    now.year = year;
    now.month = month;
    now.day = day;
    return clock.SetLocalTime(now);
}

ClockResult SetTime(SystemClock& clock, std::uint8_t hour, std::uint8_t minute, std::uint8_t second,
                    std::uint16_t millisecond)
{
    SystemTime now = clock.GetLocalTime();
    now.hour = hour;
    now.minute = minute;
    now.second = second;
    now.millisecond = millisecond;
    return clock.SetLocalTime(now);
}

ClockResult SetClock(SystemClock& clock, const SystemTime& time)
{
    ClockResult date
        = SetDate(clock, time.year, static_cast<std::uint8_t>(time.month), static_cast<std::uint8_t>(time.day));
    if (!date.ok())
        return date;
    return SetTime(clock, static_cast<std::uint8_t>(time.hour), static_cast<std::uint8_t>(time.minute),
                   static_cast<std::uint8_t>(time.second), time.millisecond);
}
