#pragma once

#include <cstdint>
#include <functional>
#include <memory>

// Timer number 1 of a hidden window: one periodic timer whose ticks arrive on the
// user-interface thread. Destroying the object destroys the window; its timer goes with it
// and no tick is delivered afterwards (not even one already due).
class PlatformTimer
{
public:
    virtual ~PlatformTimer() = default;

    // (Re)arms the timer with a period of `ms` milliseconds (0 counts as 1), replacing the
    // previous period and counting the first period from now. Returns false when the platform
    // refuses a timer; the timer is then stopped.
    virtual bool Start(std::uint16_t ms) = 0;

    // Stops the timer until the next Start. Never fails; harmless when it is not running.
    virtual void Stop() = 0;

    // No tick is wanted before tick count `tick` (milliseconds of the TickSource): the timer may
    // leave out the ticks of its period that would come earlier, and then delivers the first one
    // at or after `tick`; the ticks it does deliver stay where the period puts them. Start and
    // Stop forget it. Never fails; a timer that keeps every tick serves as well.
    virtual void SleepUntil(std::uint32_t tick) = 0;
};

class TimerService
{
public:
    virtual ~TimerService() = default;

    // Creates a hidden window with a stopped timer 1. While the timer runs, `onTick` is called
    // on the user-interface thread once per period. Ticks nest: when `onTick` pumps the message
    // queue, further ticks of the same timer are delivered inside it. `onTick` may Start, Stop
    // or destroy its own timer. Never fails.
    virtual std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) = 0;
};
