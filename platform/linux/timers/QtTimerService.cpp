#include "platform/linux/timers/QtTimerService.h"

#include "platform/TickSource.h"

#include <QObject>
#include <QTimerEvent>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

// The hidden window. It outlives its handle while one of its ticks is still being handled,
// so that a handler may destroy its own timer.
class TimerWindow final : public QObject
{
public:
    TimerWindow(TickSource& ticks, std::function<void()> onTick)
        : m_ticks(ticks)
        , m_onTick(std::move(onTick))
    { }

    bool Start(std::uint16_t ms)
    {
        m_period = ms == 0 ? 1 : ms;
        m_origin = m_ticks.TickCount();
        return Arm(m_period);
    }

    // Waits for the first tick of the period at or after `tick` instead of the next one.
    void SleepUntil(std::uint32_t tick)
    {
        if (m_timerId == 0)
            return;
        const auto ahead = static_cast<std::int32_t>(tick - m_origin);
        if (ahead <= m_period)
            return;
        const std::int64_t periods = (std::int64_t { ahead } + m_period - 1) / m_period;
        const auto target = static_cast<std::uint32_t>(m_origin + periods * m_period);
        const auto wait = static_cast<std::int32_t>(target - m_ticks.TickCount());
        Arm(std::max(wait, 0));
    }

    void Stop()
    {
        if (m_timerId != 0)
            killTimer(m_timerId);
        m_timerId = 0;
    }

    // The handle is gone: no more ticks; the window goes as soon as no tick of it is running.
    void Release()
    {
        Stop();
        m_released = true;
        if (m_depth == 0)
            delete this;
        else
            deleteLater();
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        if (m_released || event->timerId() != m_timerId)
            return;
        // A fresh id, so that this timer can fire again while the handler pumps the queue; a
        // tick that ended a sleep puts the timer back on its period.
        Start(static_cast<std::uint16_t>(m_period));
        ++m_depth;
        struct DepthGuard
        {
            int& depth;
            ~DepthGuard() { --depth; }
        } guard { m_depth };
        m_onTick();
    }

private:
    bool Arm(int ms)
    {
        Stop();
        m_timerId = startTimer(ms, Qt::PreciseTimer);
        return m_timerId != 0;
    }

    TickSource& m_ticks;
    std::function<void()> m_onTick;
    std::uint32_t m_origin = 0;
    int m_timerId = 0;
    int m_period = 1;
    int m_depth = 0;
    bool m_released = false;
};

class QtPlatformTimer final : public PlatformTimer
{
public:
    QtPlatformTimer(TickSource& ticks, std::function<void()> onTick)
        : m_window(new TimerWindow(ticks, std::move(onTick)))
    { }
    ~QtPlatformTimer() override { m_window->Release(); }

    QtPlatformTimer(const QtPlatformTimer&) = delete;
    QtPlatformTimer& operator=(const QtPlatformTimer&) = delete;

    bool Start(std::uint16_t ms) override { return m_window->Start(ms); }
    void Stop() override { m_window->Stop(); }
    void SleepUntil(std::uint32_t tick) override { m_window->SleepUntil(tick); }

private:
    TimerWindow* m_window;
};

} // namespace

QtTimerService::QtTimerService(TickSource& ticks)
    : m_ticks(ticks)
{ }

std::unique_ptr<PlatformTimer> QtTimerService::CreateTimer(std::function<void()> onTick)
{
    return std::make_unique<QtPlatformTimer>(m_ticks, std::move(onTick));
}
