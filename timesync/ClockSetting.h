#pragma once

#include "platform/SystemClock.h"

#include <cstdint>

// Each reads the local time, replaces only its own fields and writes the record back, so a
// date set first keeps the current time of day and a time set second lands on that date.
ClockResult SetDate(SystemClock& clock, std::uint16_t year, std::uint8_t month, std::uint8_t day);
ClockResult SetTime(SystemClock& clock, std::uint8_t hour, std::uint8_t minute, std::uint8_t second,
                    std::uint16_t millisecond);

// Date first, then time; stops at the first refusal and returns it.
ClockResult SetClock(SystemClock& clock, const SystemTime& time);
