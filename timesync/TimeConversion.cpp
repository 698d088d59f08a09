#include "timesync/TimeConversion.h"

#include <chrono>

namespace {

// The clock's day numbers count from 1899-12-30, so that 1900-01-01 is day 2. Whole
// milliseconds since that day carry the same date and time exactly, with no rounding to undo.
constexpr std::int64_t MsPerSecond = 1000;
constexpr std::int64_t MsPerDay = 86400 * MsPerSecond;
constexpr std::int64_t DayNumberOf1900 = 2;
constexpr std::int64_t SecondsPerEra = std::int64_t { 1 } << 32;
constexpr std::uint32_t FirstEraBit = 0x80000000u;
constexpr std::chrono::sys_days DayZero = std::chrono::sys_days { std::chrono::year { 1899 } / 12 / 30 };

} // namespace

std::uint32_t ReplySeconds(std::span<const std::uint8_t, 4> reply)
{
    std::uint32_t seconds = 0;
    for (const std::uint8_t byte : reply)
        seconds = seconds << 8 | byte;
    return seconds;
}

std::int64_t ReplyInstant(std::uint32_t seconds)
{
    const std::int64_t sinceEpoch = (seconds & FirstEraBit) ? seconds : seconds + SecondsPerEra;
    return sinceEpoch * MsPerSecond;
}

std::int64_t NtpMicroseconds(std::uint64_t timestamp)
{
    constexpr std::uint64_t UsPerSecond = 1000000;
    const auto fraction = static_cast<std::int64_t>(((timestamp & 0xFFFFFFFFu) * UsPerSecond + (1u << 31)) >> 32);
    return ReplyInstant(static_cast<std::uint32_t>(timestamp >> 32)) * 1000 + fraction;
}

SystemTime ClockTimeFromInstant(std::int64_t instant, TimeMode mode, int biasMinutes)
{
    std::int64_t sinceDayZero = DayNumberOf1900 * MsPerDay + instant;
    if (mode == TimeMode::Local)
        sinceDayZero -= std::int64_t { biasMinutes } * 60 * MsPerSecond;

    // Floor division: a bias larger than the time since day zero must step back a whole day.
    std::int64_t days = sinceDayZero / MsPerDay;
    std::int64_t ofDay = sinceDayZero % MsPerDay;
    if (ofDay < 0) {
        ofDay += MsPerDay;
        --days;
    }

    const std::chrono::year_month_day date { DayZero + std::chrono::days { days } };
    const std::int64_t second = ofDay / MsPerSecond;
    SystemTime time;
    time.year = static_cast<std::uint16_t>(static_cast<int>(date.year()));
    time.month = static_cast<std::uint16_t>(static_cast<unsigned>(date.month()));
    time.day = static_cast<std::uint16_t>(static_cast<unsigned>(date.day()));
    time.hour = static_cast<std::uint16_t>(second / 3600);
    time.minute = static_cast<std::uint16_t>(second / 60 % 60);
    time.second = static_cast<std::uint16_t>(second % 60);
    time.millisecond = static_cast<std::uint16_t>(ofDay % MsPerSecond);
    return time;
}

int TimeBias(const TimeZoneInformation& zone)
{
    switch (zone.id) {
    case TimeZoneId::Standard:
        return zone.bias + zone.standardBias;
    case TimeZoneId::Daylight:
        return zone.bias + zone.daylightBias;
    case TimeZoneId::Unknown:
    case TimeZoneId::Invalid:
        break;
    }
    return 0;
}
