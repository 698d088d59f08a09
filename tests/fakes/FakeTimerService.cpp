#include "tests/fakes/FakeTimerService.h"

#include "tests/fakes/FakeTickSource.h"

#include <stdexcept>

struct FakeTimerService::State
{
    std::function<void()> onTick;
    bool running = false;
    std::uint16_t period = 0;
    std::uint32_t due = 0; // tick of the next expiry, while running
    bool sleeping = false;
    std::uint32_t sleepUntil = 0; // while sleeping: no tick is wanted before this one
};

class FakePlatformTimer final : public PlatformTimer
{
public:
    FakePlatformTimer(FakeTimerService& service, std::shared_ptr<FakeTimerService::State> state)
        : m_service(service)
        , m_state(std::move(state))
    { }

    ~FakePlatformTimer() override
    {
        m_service.m_log.emplace_back("destroy");
        if (m_service.m_state == m_state)
            m_service.m_state.reset();
        m_state->running = false;
    }

    FakePlatformTimer(const FakePlatformTimer&) = delete;
    FakePlatformTimer& operator=(const FakePlatformTimer&) = delete;

    bool Start(std::uint16_t ms) override
    {
        m_service.m_log.push_back("start " + std::to_string(ms));
        m_service.m_starts.push_back(ms);
        if (m_service.refuseStart) {
            m_state->running = false;
            m_state->period = 0;
            return false;
        }
        m_state->running = true;
        m_state->sleeping = false;
        m_state->period = ms == 0 ? 1 : ms;
        m_state->due = (m_service.m_ticks ? m_service.m_ticks->TickCount() : 0) + m_state->period;
        return true;
    }

    void Stop() override
    {
        m_service.m_log.emplace_back("stop");
        m_state->running = false;
        m_state->sleeping = false;
        m_state->period = 0;
    }

    void SleepUntil(std::uint32_t tick) override
    {
        m_state->sleeping = m_state->running;
        m_state->sleepUntil = tick;
    }

private:
    FakeTimerService& m_service;
    std::shared_ptr<FakeTimerService::State> m_state;
};

FakeTimerService::FakeTimerService(FakeTickSource* ticks)
    : m_ticks(ticks)
{ }

FakeTimerService::~FakeTimerService() = default;

std::unique_ptr<PlatformTimer> FakeTimerService::CreateTimer(std::function<void()> onTick)
{
    if (m_state)
        throw std::logic_error("FakeTimerService serves one timer at a time");
    m_log.emplace_back("create");
    m_state = std::make_shared<State>();
    m_state->onTick = std::move(onTick);
    return std::make_unique<FakePlatformTimer>(*this, m_state);
}

bool FakeTimerService::Running() const
{
    return m_state && m_state->running;
}

std::uint16_t FakeTimerService::Period() const
{
    return Running() ? m_state->period : 0;
}

bool FakeTimerService::Tick()
{
    if (!Running())
        return false;
    // The state (and its handler) stays alive even if the handler destroys its timer.
    const std::shared_ptr<State> state = m_state;
    state->due = (m_ticks ? m_ticks->TickCount() : 0) + state->period;
    state->onTick();
    return true;
}

int FakeTimerService::Elapse(std::uint32_t ms)
{
    if (!m_ticks)
        throw std::logic_error("FakeTimerService::Elapse needs a tick source");
    const std::uint32_t end = m_ticks->TickCount() + ms;
    const auto ahead = [this](std::uint32_t tick) { return static_cast<std::int32_t>(tick - m_ticks->TickCount()); };
    int ticks = 0;
    // A handler may let time pass itself (a nested Elapse); the loop then resumes from there.
    while (Running() && ahead(end) >= 0 && ahead(m_state->due) <= ahead(end)) {
        if (ahead(m_state->due) > 0) // an overdue timer fires now, time never runs backwards
            m_ticks->Set(m_state->due);
        if (honourSleep && m_state->sleeping && static_cast<std::int32_t>(m_state->due - m_state->sleepUntil) < 0) {
            m_state->due += m_state->period;
            continue;
        }
        m_state->sleeping = false;
        Tick();
        ++ticks;
    }
    if (ahead(end) > 0)
        m_ticks->Set(end);
    return ticks;
}
