#pragma once

#include "platform/NotificationArea.h"
#include "platform/linux/tray/DesktopTrayIconOwner.h"
#include "platform/linux/tray/StatusNotifierItem.h"
#include "platform/linux/tray/XEmbedTrayIcon.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QString>

class StatusNotifierHostWatch;

// A notification icon on today's Linux desktops: a StatusNotifierItem while a host for those
// runs on the session bus, an icon in the X system tray otherwise, never both at once, switching
// whenever the desktop changes (a panel that starts after the program, restarts or is replaced).
class DesktopTrayIcon final : public NotificationIcon
{
public:
    DesktopTrayIcon(DesktopTrayIconOwner& area, StatusNotifierHostWatch& host, const QString& id, const QString& name);
    ~DesktopTrayIcon() override;

    bool Add(const QIcon& icon, const QString& tip) override;
    void Modify(const QIcon& icon, const QString& tip) override;
    void Remove() override;
    void ExportMenu(const QStringList& entries) override;

    // Shows the icon through whatever the desktop now offers.
    void Update();

private:
    void Deliver(QPoint at, const QList<int>& messages);
    void Activate(QPoint at);

    DesktopTrayIconOwner& m_area;
    StatusNotifierHostWatch& m_host;
    XEmbedTrayIcon m_xembed;
    StatusNotifierItem m_item;
    bool m_wanted = false;
    // The watcher the item was registered with, and one that refused it.
    QString m_registeredWith;
    QString m_refusedBy;
    QElapsedTimer m_lastActivation;
};
