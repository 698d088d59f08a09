#pragma once

#include <QPoint>

#include <cstdint>

// Tells the press that completes a double-click from one that begins a click: the same button
// again within the desktop's double-click time and distance of the press before. The press after
// a double-click begins anew, so that three quick presses are a double-click and a click.
class PressSeries final
{
public:
    // `time` in milliseconds of the X server's clock, which wraps.
    bool CompletesDoubleClick(std::uint8_t button, std::uint32_t time, QPoint at);

private:
    std::uint8_t m_button = 0;
    std::uint32_t m_time = 0;
    QPoint m_at;
};
