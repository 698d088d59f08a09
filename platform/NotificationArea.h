#pragma once

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

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

    // Hands over a menu for desktops that draw an icon's menu themselves instead of reporting
    // the right button: the entries in order, each a caption or an empty text for a separator.
    // An empty list hands over none. Desktops that report the right button ignore it.
    virtual void ExportMenu(const QStringList& entries) = 0;

    // Some desktops report an icon's primary action (usually a left click) instead of its
    // buttons; these mouse messages stand for one such activation. A plain left click unless
    // the owner says otherwise.
    QList<int> ActivateMessages { LeftButtonDown, LeftButtonUp };

    // Receives every mouse message, on the user-interface thread.
    std::function<void(int mouseMessage)> OnMouseMessage;
    // The user's session ends (log-off); the icon should leave the notification area.
    std::function<void()> OnEndSession;
    // Whether the exported menu's entries can be chosen now, for desktops that draw them; asked
    // at any time, so it must only look. Without it they always can.
    std::function<bool()> MenuEnabled;
    // The desktop is about to show the exported menu.
    std::function<void()> OnMenuOpening;
    // The user chose entry `index` of the exported menu (separators count).
    std::function<void(int index)> OnMenuChoice;
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
    // The mouse cursor in screen coordinates, now; while an activation that the desktop reported
    // with a point of its own is being delivered, that point.
    virtual QPoint CursorPos() const = 0;
    // The Shift, Alt and Ctrl keys held down now, as a set of Shift bits.
    virtual unsigned KeyState() const = 0;
};
