#include "platform/linux/clock/LinuxSystemClock.h"

#include "platform/linux/clock/TimedateService.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace {

ClockResult Failure(int error)
{
    return ClockResult { error, QString::fromLocal8Bit(std::strerror(error)) };
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// mktime would quietly roll an impossible record over into the next month or day.
bool IsValid(const SystemTime& time)
{
    return time.month >= 1 && time.month <= 12 && time.day >= 1 && time.day <= DaysInMonth(time.year, time.month)
        && time.hour < 24 && time.minute < 60 && time.second < 60 && time.millisecond < 1000;
}

timespec Now()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

} // namespace

TimeZoneInformation LinuxSystemClock::GetTimeZoneInformation() const
{
    // localtime_r need not look at TZ again; tzset makes a changed zone count.
    tzset();
    const time_t now = Now().tv_sec;
    tm local {};
    if (!localtime_r(&now, &local))
        return {};

    const int inForce = static_cast<int>(-local.tm_gmtoff / 60);
    TimeZoneInformation zone;
    if (local.tm_isdst > 0) {
        // After localtime_r, `timezone` holds the standard offset of the rules in force now.
        zone.id = TimeZoneId::Daylight;
        zone.bias = static_cast<int>(timezone / 60);
        zone.daylightBias = inForce - zone.bias;
    } else {
        // A zone without daylight-saving rules is in standard time all year: its offset is
        // the bias, not 0, or local mode would set the clock to UTC.
        zone.id = TimeZoneId::Standard;
        zone.bias = inForce;
    }
    return zone;
}

SystemTime LinuxSystemClock::GetLocalTime() const
{
    tzset();
    const timespec now = Now();
    tm local {};
    localtime_r(&now.tv_sec, &local);
    SystemTime time;
    time.year = static_cast<std::uint16_t>(local.tm_year + 1900);
    time.month = static_cast<std::uint16_t>(local.tm_mon + 1);
    time.day = static_cast<std::uint16_t>(local.tm_mday);
    time.hour = static_cast<std::uint16_t>(local.tm_hour);
    time.minute = static_cast<std::uint16_t>(local.tm_min);
    time.second = static_cast<std::uint16_t>(local.tm_sec);
    time.millisecond = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
    return time;
}

ClockResult LinuxSystemClock::SetLocalTime(const SystemTime& time)
{
    if (!IsValid(time))
        return Failure(EINVAL);

    tm local {};
    local.tm_year = time.year - 1900;
    local.tm_mon = time.month - 1;
    local.tm_mday = time.day;
    local.tm_hour = time.hour;
    local.tm_min = time.minute;
    local.tm_sec = time.second;
    local.tm_isdst = -1; // the zone's rules decide, as for a wall clock
    errno = 0;
    const time_t seconds = mktime(&local);
    if (seconds == static_cast<time_t>(-1) && errno != 0)
        return Failure(errno);

    const timespec target { seconds, static_cast<long>(time.millisecond) * 1000000L };
    if (clock_settime(CLOCK_REALTIME, &target) == 0)
        return {};
    const int error = errno;
    if (error != EPERM || !m_service)
        return Failure(error);
    const timespec now = Now();
    const std::int64_t offset
        = (std::int64_t { target.tv_sec } - now.tv_sec) * 1000000 + (target.tv_nsec - now.tv_nsec) / 1000;
    return m_service->MoveClock(offset).value_or(Failure(error));
}
