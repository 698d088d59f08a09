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

// The Time Protocol's reply, four bytes in network order, as the unsigned count of seconds
// since 1900-01-01 00:00:00 UTC. Never negative: the count runs out in February 2036.
std::uint32_t ReplySeconds(std::span<const std::uint8_t, 4> reply);

// The date and time to set for a reply of `seconds`: UTC in Utc mode, UTC minus
// `biasMinutes` in Local mode. Exact to the millisecond, which is always 0.
SystemTime ClockTimeFromReply(std::uint32_t seconds, TimeMode mode, int biasMinutes);

// Minutes B with local time = UTC - B for the offsets in force; 0 when the zone
// is neither in standard nor in daylight-saving time.
int TimeBias(const TimeZoneInformation& zone);
