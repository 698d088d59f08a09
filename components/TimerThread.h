#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// A worker thread that calls OnStep every Interval milliseconds until it is told to stop.
// OnStep runs on the worker: it must only hand work over to the user-interface thread, never
// touch user-interface objects itself. Suspended, the worker waits without stepping; after a
// resume it sleeps a whole Interval before the next step. Every call below comes from one
// controlling thread; destruction stops the worker and waits for it to end, so that nothing of
// the owner is touched afterwards.
class TTimerThread final
{
public:
    TTimerThread(std::uint16_t interval, bool suspended, std::function<void()> onStep);
    ~TTimerThread();
    TTimerThread(const TTimerThread&) = delete;
    TTimerThread& operator=(const TTimerThread&) = delete;

    // Read by the worker before each sleep.
    void SetInterval(std::uint16_t interval);

    bool Suspended() const;
    // Ends a sleep under way without a step; the worker then waits for Resume.
    void Suspend();
    void Resume();

private:
    void Execute();

    const std::function<void()> m_onStep;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::uint16_t m_interval;
    bool m_suspended;
    bool m_terminated = false;
    std::thread m_thread;
};
