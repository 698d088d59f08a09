#pragma once

#include <QPoint>

#include <functional>

class DesktopTrayIcon;

// What a desktop tray icon asks of the notification area that made it.
class DesktopTrayIconOwner
{
public:
    virtual ~DesktopTrayIconOwner() = default;

    // The icon is going; the area stops telling it of changes.
    virtual void Forget(DesktopTrayIcon* icon) = 0;
    // Runs `deliver` with the area's cursor answering `at`, the point a desktop's request came
    // with; hosts that do not know it send 0, 0, and the cursor stands in.
    virtual void DeliverAt(QPoint at, const std::function<void()>& deliver) = 0;
};
