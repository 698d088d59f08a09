#include "components/TimerThread.h"

#include <algorithm>
#include <chrono>

TTimerThread::TTimerThread(std::uint16_t interval, bool suspended, std::function<void()> onStep)
    : m_onStep(std::move(onStep))
    , m_interval(interval)
    , m_suspended(suspended)
    , m_thread([this] { Execute(); })
{ }

TTimerThread::~TTimerThread()
{
    {
        const std::lock_guard lock(m_mutex);
        m_terminated = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TTimerThread::SetInterval(std::uint16_t interval)
{
    const std::lock_guard lock(m_mutex);
    m_interval = interval;
}

bool TTimerThread::Suspended() const
{
    const std::lock_guard lock(m_mutex);
    return m_suspended;
}

void TTimerThread::Suspend()
{
    {
        const std::lock_guard lock(m_mutex);
        m_suspended = true;
    }
    m_wake.notify_all();
}

void TTimerThread::Resume()
{
    {
        const std::lock_guard lock(m_mutex);
        m_suspended = false;
    }
    m_wake.notify_all();
}

void TTimerThread::Execute()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_terminated || !m_suspended; });
        if (m_terminated)
            return;
        // A zero interval would make the worker step without pause.
        const std::chrono::milliseconds interval(std::max<std::uint16_t>(m_interval, 1));
        const bool interrupted = m_wake.wait_for(lock, interval, [this] { return m_terminated || m_suspended; });
        if (interrupted)
            continue;
        lock.unlock();
        m_onStep();
        lock.lock();
    }
}
