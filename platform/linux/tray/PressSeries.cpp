#include "platform/linux/tray/PressSeries.h"

#include <QGuiApplication>
#include <QStyleHints>

bool PressSeries::CompletesDoubleClick(std::uint8_t button, std::uint32_t time, QPoint at)
{
    const QStyleHints* hints = QGuiApplication::styleHints();
    const bool second = button == m_button && time - m_time <= std::uint32_t(hints->mouseDoubleClickInterval())
        && (at - m_at).manhattanLength() <= hints->mouseDoubleClickDistance();
    m_button = second ? 0 : button;
    m_time = time;
    m_at = at;
    return second;
}
