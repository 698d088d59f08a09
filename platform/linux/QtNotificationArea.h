#pragma once

#include "platform/NotificationArea.h"

#include <QList>

class QtNotificationIcon;

// The notification area through QSystemTrayIcon (XEmbed or StatusNotifier, as Qt finds them).
class QtNotificationArea final : public NotificationArea
{
public:
    std::unique_ptr<NotificationIcon> CreateIcon() override;
    QPoint CursorPos() const override;
    unsigned KeyState() const override;

    // The session ends: every icon still alive is told, as a log-off would.
    void EndSession();

private:
    friend class QtNotificationIcon;
    void Forget(QtNotificationIcon* icon);

    QList<QtNotificationIcon*> m_icons;
};
