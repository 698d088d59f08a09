#pragma once

#include <QIcon>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class NotificationArea;
class NotificationIcon;
class ApplicationServices;
class TPopupMenu;

enum TMouseButton
{
    mbLeft = 0,
    mbRight = 1,
    mbMiddle = 2
};

// Shift state of a mouse event: the keys read when the message is handled, plus the button.
enum TShiftState : unsigned
{
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32
};

// The program's permanent icon in the notification area. It turns the application into a tray
// program: minimising hides the application's task-bar window, and the icon is the way back in.
class TTrayIcon final
{
public:
    // Window messages the icon's hidden window understands.
    static constexpr unsigned WM_QUERYENDSESSION = 17;
    static constexpr unsigned WM_ENDSESSION = 22;
    static constexpr unsigned IconMessage = 1025;

    // The tip field holds 63 characters and a terminating zero.
    static constexpr int MaxTipLength = 63;

    // Adds the icon with the application's icon and title; EOutOfResources when refused.
    TTrayIcon(ApplicationServices& application, NotificationArea& area, const QIcon& applicationIcon);
    ~TTrayIcon();
    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;

    const QString& Hint() const { return m_hint; }
    void SetHint(const QString& hint);

    const QIcon& Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);

    TPopupMenu* PopupMenu() const { return m_popupMenu; }
    // Also handed to desktops that draw the icon's menu themselves; its items then run under the
    // same rule as the menu shown here, and are drawn disabled while they would not run.
    void SetPopupMenu(TPopupMenu* menu);

    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void()> OnMinimize;
    std::function<void()> OnBeforeRestore;
    std::function<void()> OnRestore;
    std::function<void(unsigned shift, int x, int y)> OnMouseMove;
    std::function<void(TMouseButton button, unsigned shift, int x, int y)> OnMouseDown;
    std::function<void(TMouseButton button, unsigned shift, int x, int y)> OnMouseUp;

    void Minimize();
    void Restore();
    void ShowPopup();
    void RemoveIcon();

    // The hidden window's message handler.
    std::intptr_t WindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

    // What was last handed to the notification area.
    enum NotifyFlag : unsigned
    {
        nifMessage = 1,
        nifIcon = 2,
        nifTip = 4
    };
    unsigned NotifyFlags() const { return m_notifyFlags; }
    const QString& NotifyTip() const { return m_notifyTip; }

private:
    // Messages arrive from the platform: errors raised by handlers go to the error box.
    void Dispatch(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void Guard(const std::function<void()>& handler);
    // The menu opens only while the application is hidden: with the dialog up it would only
    // compete with it.
    bool MenuAllowed() const;
    void UpdateIcon();
    void MouseMessage(int message);
    void MouseDown(TMouseButton button, unsigned buttonShift);
    void MouseUp(TMouseButton button, unsigned buttonShift);
    void Click();
    void DblClick();

    ApplicationServices& m_application;
    NotificationArea& m_area;
    std::unique_ptr<NotificationIcon> m_notifyIcon;
    TPopupMenu* m_popupMenu = nullptr;
    QIcon m_icon;
    QString m_hint;
    QString m_notifyTip;
    unsigned m_notifyFlags = 0;
    bool m_pendingClick = false;
};
