#include "dialup/DialUpWatcher.h"

#include "components/TimerLst.h"

namespace {

// Keeps the watcher's event off while a tick works; it comes on again (a full new period) also
// when a handler of the tick raises, so that the watcher never stops for good.
class PausedEvent final
{
public:
    explicit PausedEvent(TRxTimerEvent& event)
        : m_event(event)
    {
        m_event.SetEnabled(false);
    }
    ~PausedEvent() { m_event.SetEnabled(true); }
    PausedEvent(const PausedEvent&) = delete;
    PausedEvent& operator=(const PausedEvent&) = delete;

private:
    TRxTimerEvent& m_event;
};

} // namespace

DialUpWatcher::DialUpWatcher(TRxTimerEvent& timerEvent, State state, Handlers handlers)
    : m_timerEvent(timerEvent)
    , m_state(state)
    , m_handlers(std::move(handlers))
{ }

void DialUpWatcher::Tick()
{
    // After any successful query, whoever started it, the programs start at the next tick.
    if (m_state.TimeObtained && !m_state.AppsLaunched) {
        const PausedEvent paused(m_timerEvent);
        m_handlers.ApplicationLauncher();
        return;
    }
    if (!m_handlers.DetectionOn())
        return;
    const PausedEvent paused(m_timerEvent);
    if (m_handlers.IsConnected()) {
        if (!m_state.DialUpAddress.isEmpty() && m_state.DialUpAddress != m_state.LastTimeAddress) {
            m_state.LastTimeAddress = m_state.DialUpAddress;
            m_state.AppsLaunched = false;
            m_handlers.GettimeClick();
        }
        return;
    }
    m_handlers.ApplicationCloser();
    m_state.TimeObtained = false;
    m_state.AppsLaunched = false;
}
