#pragma once

#include "platform/TickSource.h"

// A tick count that moves only when the test says so.
class FakeTickSource final : public TickSource
{
public:
    explicit FakeTickSource(std::uint32_t start = 1000)
        : m_now(start)
    { }

    std::uint32_t TickCount() const override { return m_now; }
    void Set(std::uint32_t now) { m_now = now; }
    void Advance(std::uint32_t ms) { m_now += ms; }

private:
    std::uint32_t m_now;
};
