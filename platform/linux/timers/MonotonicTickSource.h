#pragma once

#include "platform/TickSource.h"

// Ticks from CLOCK_MONOTONIC, so that setting the wall clock never disturbs the timers.
class MonotonicTickSource final : public TickSource
{
public:
    std::uint32_t TickCount() const override;
};
