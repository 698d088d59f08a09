#include "platform/linux/QtTimerService.h"

#include <QObject>
#include <QTimerEvent>

#include <utility>

namespace {

// The hidden window. It outlives its handle while one of its ticks is still being handled,
// so that a handler may destroy its own timer.
class TimerWindow final : public QObject
{
public:
    explicit TimerWindow(std::function<void()> onTick)
        : m_onTick(std::move(onTick))
    { }

    bool Start(std::uint16_t ms)
    {
        Stop();
        m_period = ms == 0 ? 1 : ms;
        m_timerId = startTimer(m_period, Qt::PreciseTimer);
        return m_timerId != 0;
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
        // A fresh id, so that this timer can fire again while the handler pumps the queue.
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
    std::function<void()> m_onTick;
    int m_timerId = 0;
    int m_period = 1;
    int m_depth = 0;
    bool m_released = false;
};

class QtPlatformTimer final : public PlatformTimer
{
public:
    explicit QtPlatformTimer(std::function<void()> onTick)
        : m_window(new TimerWindow(std::move(onTick)))
    { }
    ~QtPlatformTimer() override { m_window->Release(); }

    QtPlatformTimer(const QtPlatformTimer&) = delete;
    QtPlatformTimer& operator=(const QtPlatformTimer&) = delete;

    bool Start(std::uint16_t ms) override { return m_window->Start(ms); }
    void Stop() override { m_window->Stop(); }

private:
    TimerWindow* m_window;
};

} // namespace

std::unique_ptr<PlatformTimer> QtTimerService::CreateTimer(std::function<void()> onTick)
{
    return std::make_unique<QtPlatformTimer>(std::move(onTick));
}
