#pragma once

#include "platform/TimerService.h"

// Timers of hidden windows as Qt timers on the thread that creates them (the user-interface
// thread). Each tick re-arms the timer under a fresh Qt timer id before the handler runs:
// Qt never re-activates a timer id whose event is still being handled, so this is what lets
// a handler that pumps the queue receive the next ticks of its own timer.
class QtTimerService final : public TimerService
{
public:
    std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) override;
};
