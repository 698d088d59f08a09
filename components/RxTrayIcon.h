#pragma once

#include "base/Errors.h"
#include "components/IconList.h"
#include "components/TrayIcon.h"

#include <QIcon>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class NotificationArea;
class NotificationIcon;
class QObject;
class TTimerThread;

// A second notification-area icon, shown on demand, that can cycle through a list of pictures.
// A TTimerThread times the frames; each step is carried out on the user-interface thread, where
// everything else of the component happens too.
class TRxTrayIcon final
{
public:
    // The hidden window's message for mouse activity on the icon.
    static constexpr unsigned TrayCallback = 0xB040;
    // The tip field holds 63 characters and a terminating zero.
    static constexpr int MaxTipLength = 63;

    // `errorHandler` receives what the click handlers raise.
    TRxTrayIcon(NotificationArea& area, ErrorHandler errorHandler);
    // Stops the animation worker (and waits for it) before anything it works for goes away.
    ~TRxTrayIcon();
    TRxTrayIcon(const TRxTrayIcon&) = delete;
    TRxTrayIcon& operator=(const TRxTrayIcon&) = delete;

    // Loading from the form data: while it lasts, properties are only stored; Loaded ends it and
    // shows the icon when it is Active.
    void BeginLoading() { m_loading = true; }
    void Loaded();

    // The icon is wanted in the notification area.
    bool Active() const { return m_active; }
    void SetActive(bool active);
    // The icon is in the notification area now.
    bool Added() const { return m_added; }

    // Cycling through Icons. Switching on needs at least one entry in Icons.
    bool Animated() const;
    void SetAnimated(bool animated);
    // The frame shown while animated.
    int IconIndex() const { return m_iconIndex; }

    // Milliseconds between frames; the worker reads it before each sleep.
    std::uint16_t Interval() const { return m_interval; }
    void SetInterval(std::uint16_t interval);

    // Its short part (before the first "|", or all of it), cut to MaxTipLength, is the tip.
    const QString& Hint() const { return m_hint; }
    void SetHint(const QString& hint);

    // The still picture.
    const QIcon& Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);

    // The animation frames; each change updates the tray.
    TIconList& Icons() { return m_icons; }
    void SetIcons(const TIconList& icons) { m_icons.Assign(icons); }

    void ShowIcon();
    void HideIcon();
    void UpdateTray();
    // The next frame (after the last, the first again).
    void Advance();

    std::function<void(TRxTrayIcon& Sender, TMouseButton Button, unsigned Shift, int X, int Y)> OnClick;
    std::function<void(TRxTrayIcon& Sender)> OnDblClick;

    // The hidden window's message handler.
    void WindowProc(unsigned message, std::intptr_t lParam);

private:
    QIcon CurrentIcon() const;
    QString Tip() const;
    void Dispatch(unsigned message, std::intptr_t lParam);
    void Click(TMouseButton button);
    void DblClick();
    // Runs on the animation worker: hands the step of that thread's generation to the hidden window.
    void PostStep(std::uint64_t generation);
    void Step(std::uint64_t generation);

    NotificationArea& m_area;
    ErrorHandler m_errorHandler;
    // The hidden window: what the animation worker hands its steps to.
    std::unique_ptr<QObject> m_trayWindow;
    std::unique_ptr<NotificationIcon> m_notifyIcon;
    bool m_loading = false;
    bool m_active = true;
    bool m_added = false;
    bool m_animated = false;
    bool m_destroying = false;
    int m_iconIndex = -1;
    std::uint16_t m_interval = 150;
    QIcon m_icon;
    TIconList m_icons;
    QString m_hint;
    std::unique_ptr<TTimerThread> m_animationThread;
    // Which worker is current: a step that an earlier one posted is dropped.
    std::uint64_t m_threadGeneration = 0;
    // A step is on its way to the user-interface thread; the worker posts no second one meanwhile,
    // so that a busy user-interface thread does not find a pile of frames afterwards.
    std::atomic<bool> m_stepPending = false;
};
