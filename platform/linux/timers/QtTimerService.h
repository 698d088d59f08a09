#pragma once

#include "platform/TimerService.h"

class TickSource;

// Timers of hidden windows as Qt timers on the thread that creates them (the user-interface
// thread). Each tick re-arms the timer under a fresh Qt timer id before the handler runs:
// Qt never re-activates a timer id whose event is still being handled, so this is what lets
// a handler that pumps the queue receive the next ticks of its own timer. Ticks nobody wants are
// slept through with one longer wait, so that an idle program does not wake at every period.
class QtTimerService final : public TimerService
{
public:
    explicit QtTimerService(TickSource& ticks);

    std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) override;

private:
    TickSource& m_ticks;
};
