#pragma once

#include <cstdint>

// Milliseconds since some fixed moment, as a 32-bit count that wraps after about 49.7 days.
// Callers take differences in wrap-around arithmetic and compare them as signed values.
class TickSource
{
public:
    virtual ~TickSource() = default;

    // Never fails.
    virtual std::uint32_t TickCount() const = 0;
};
