#pragma once

#include "platform/NotificationArea.h"
#include "platform/linux/tray/DesktopTrayIconOwner.h"

#include <QList>

#include <functional>
#include <optional>

class DesktopTrayIcon;
class StatusNotifierHostWatch;

// The notification area of today's Linux desktops: each icon shows as a StatusNotifierItem
// while a host for those runs on the session bus, and in the X system tray otherwise.
class QtNotificationArea final : public NotificationArea, private DesktopTrayIconOwner
{
public:
    QtNotificationArea();
    ~QtNotificationArea() override;
    QtNotificationArea(const QtNotificationArea&) = delete;
    QtNotificationArea& operator=(const QtNotificationArea&) = delete;

    std::unique_ptr<NotificationIcon> CreateIcon() override;
    QPoint CursorPos() const override;
    unsigned KeyState() const override;

    // The session ends: every icon still alive is told, as a log-off would.
    void EndSession();

private:
    void Forget(DesktopTrayIcon* icon) override;
    void DeliverAt(QPoint at, const std::function<void()>& deliver) override;

    std::unique_ptr<StatusNotifierHostWatch> m_host;
    QList<DesktopTrayIcon*> m_icons;
    std::optional<QPoint> m_deliveredAt;
    int m_created = 0;
};
