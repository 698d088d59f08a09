#include "timesync/ClockSetting.h"

ClockResult SetClock(SystemClock& clock, std::int64_t instant, TimeMode mode)
{
    const int bias = mode == TimeMode::Local ? TimeBias(clock.GetTimeZoneInformation()) : 0;
    return clock.SetLocalTime(ClockTimeFromInstant(instant, mode, bias));
}
