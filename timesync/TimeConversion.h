#pragma once

#include "platform/SystemClock.h"

#include <cstdint>
#include <span>

// How the time server's answer is put on the clock.
enum class TimeMode
{
    Local, // the local time of the computer's zone
    Utc, // the clock shows UTC, whatever the zone
};

// The Time Protocol's reply, four bytes in network order, as the unsigned 32-bit count of
// seconds it carries. Never negative.
std::uint32_t ReplySeconds(std::span<const std::uint8_t, 4> reply);

// The instant a reply of `seconds` names, in milliseconds since 1900-01-01 00:00:00 UTC.
// The count wraps on 2036-02-07 06:28:16 UTC. A count with its top bit set is read from
// 1900 (1968 to 2036); one with the top bit clear, which would mean 1900 to 1968, is read
// from the wrap (2036 to 2104): no timeserver of ours answers with a date before 1968.
std::int64_t ReplyInstant(std::uint32_t seconds);

// The instant an NTP timestamp names (seconds since 1900 in its high 32 bits, read across the
// wrap as a reply's are; the fraction of a second in its low 32), in microseconds since
// 1900-01-01 00:00:00 UTC.
std::int64_t NtpMicroseconds(std::uint64_t timestamp);

// The date and time to set for `instant` (milliseconds since 1900-01-01 00:00:00 UTC): UTC
// in Utc mode, UTC minus `biasMinutes` in Local mode. Exact to the millisecond.
SystemTime ClockTimeFromInstant(std::int64_t instant, TimeMode mode, int biasMinutes);

// Minutes B with local time = UTC - B for the offsets in force; 0 when the zone
// is neither in standard nor in daylight-saving time.
int TimeBias(const TimeZoneInformation& zone);
