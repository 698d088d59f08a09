#pragma once

#include "platform/TimerService.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class FakeTickSource;

// Timer windows that tick only when the test says so. Records every call in Log() as text
// ("create", "start 1000", "stop", "destroy"), can refuse Start, and delivers ticks either one
// at a time (Tick) or by letting time pass on a FakeTickSource (Elapse). Serves one timer at
// a time (one list), which is what the timer list needs.
class FakeTimerService final : public TimerService
{
public:
    explicit FakeTimerService(FakeTickSource* ticks = nullptr);
    ~FakeTimerService() override;

    std::unique_ptr<PlatformTimer> CreateTimer(std::function<void()> onTick) override;

    // While true, Start returns false (and the timer stays stopped).
    bool refuseStart = false;
    // While true, Elapse leaves out the ticks a SleepUntil asked to sleep through, as the real
    // binding does; false delivers every tick of the period.
    bool honourSleep = true;

    const std::vector<std::string>& Log() const { return m_log; }
    void ClearLog()
    {
        m_log.clear();
        m_starts.clear();
    }
    // The periods of every Start since the last ClearLog, refused ones included.
    const std::vector<std::uint16_t>& Starts() const { return m_starts; }

    bool WindowExists() const { return m_state != nullptr; }
    bool Running() const;
    // Period of the running timer; 0 when stopped or without a window.
    std::uint16_t Period() const;

    // Delivers one tick now, as the platform would (also from inside a tick handler: ticks
    // nest). Returns false, delivering nothing, when no timer is running.
    bool Tick();

    // Lets `ms` milliseconds pass on the tick source given to the constructor, delivering a
    // tick at each expiry of the running timer (the tick source then reads the expiry time).
    // Returns the number of ticks delivered.
    int Elapse(std::uint32_t ms);

    struct State;

private:
    FakeTickSource* m_ticks;
    std::shared_ptr<State> m_state;
    std::vector<std::string> m_log;
    std::vector<std::uint16_t> m_starts;
    friend class FakePlatformTimer;
};
