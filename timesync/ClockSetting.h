#pragma once

#include "platform/SystemClock.h"
#include "timesync/TimeConversion.h"

#include <cstdint>

// Puts the clock on `instant` (milliseconds since 1900-01-01 00:00:00 UTC) in one change, as
// the local time of the zone in force or, in Utc mode, as UTC. Date and time go together: set
// one after the other, the clock would show the new date with the old time in between, and a
// midnight passing between the two would leave it a whole day out.
ClockResult SetClock(SystemClock& clock, std::int64_t instant, TimeMode mode);
