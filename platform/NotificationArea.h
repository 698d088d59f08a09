#pragma once

#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

class QIcon;

// One icon in the desktop's notification area. Mouse activity on it arrives as the mouse
// message numbers the tray components dispatch on.
class NotificationIcon
{
public:
    enum MouseMessage : int
    {
        MouseMove = 512,
        LeftButtonDown = 513,
        LeftButtonUp = 514,
        LeftButtonDoubleClick = 515,
        RightButtonDown = 516,
        RightButtonUp = 517,
        RightButtonDoubleClick = 518,
        MiddleButtonDown = 519,
        MiddleButtonUp = 520,
        MiddleButtonDoubleClick = 521,
    };

    virtual ~NotificationIcon() = default;

    // Puts the icon into the notification area. False when the platform refuses it. A desktop
    // whose tray host has not started yet is no refusal: the icon appears once a host runs.
    virtual bool Add(const QIcon& icon, const QString& tip) = 0;
    // Changes image and tip of an added icon; an empty tip shows none. Results are not reported.
    virtual void Modify(const QIcon& icon, const QString& tip) = 0;
    // Takes the icon out of the notification area; harmless when it is not there.
    virtual void Remove() = 0;

    // Receives every mouse message, on the user-interface thread.
    std::function<void(int mouseMessage)> OnMouseMessage;
    // The user's session ends (log-off); the icon should leave the notification area.
    std::function<void()> OnEndSession;
};

// The desktop services the tray components use beside their icons.
class NotificationArea
{
public:
    enum Shift : unsigned
    {
        ShiftKey = 1,
        AltKey = 2,
        CtrlKey = 4
    };

    virtual ~NotificationArea() = default;

    virtual std::unique_ptr<NotificationIcon> CreateIcon() = 0;
    // The mouse cursor in screen coordinates, now.
    virtual QPoint CursorPos() const = 0;
    // The Shift, Alt and Ctrl keys held down now, as a set of Shift bits.
    virtual unsigned KeyState() const = 0;
};
