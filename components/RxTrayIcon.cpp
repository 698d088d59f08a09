#include "components/RxTrayIcon.h"

#include "components/TimerThread.h"
#include "platform/NotificationArea.h"

#include <QObject>

#include <algorithm>

TRxTrayIcon::TRxTrayIcon(NotificationArea& area, ErrorHandler errorHandler)
    : m_area(area)
    , m_errorHandler(std::move(errorHandler))
    , m_trayWindow(std::make_unique<QObject>())
    , m_notifyIcon(area.CreateIcon())
{
    m_notifyIcon->OnMouseMessage = [this](int message) { Dispatch(TrayCallback, message); };
    m_notifyIcon->OnEndSession = [this] { HideIcon(); };
    m_icons.OnChange = [this] { UpdateTray(); };
}

TRxTrayIcon::~TRxTrayIcon()
{
    m_destroying = true;
    m_icons.OnChange = nullptr;
    SetAnimated(false); // joins the worker
    HideIcon();
    m_trayWindow.reset(); // steps still queued for it go with it
}

void TRxTrayIcon::Loaded()
{
    m_loading = false;
    if (m_active)
        ShowIcon();
}

void TRxTrayIcon::SetActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (m_loading)
        return;
    if (active)
        ShowIcon();
    else
        HideIcon();
}

bool TRxTrayIcon::Animated() const
{
    return m_animationThread && m_animated;
}

void TRxTrayIcon::SetAnimated(bool animated)
{
    const bool wanted = animated && m_icons.Count() > 0;
    if (wanted == Animated())
        return;
    if (wanted) {
        const std::uint64_t generation = ++m_threadGeneration;
        m_animationThread
            = std::make_unique<TTimerThread>(m_interval, !m_added, [this, generation] { PostStep(generation); });
        m_animated = true;
    } else {
        m_animated = false;
        m_animationThread.reset();
    }
    m_iconIndex = 0;
    UpdateTray();
}

void TRxTrayIcon::SetInterval(std::uint16_t interval)
{
    m_interval = interval;
    if (m_animationThread)
        m_animationThread->SetInterval(interval);
}

void TRxTrayIcon::SetHint(const QString& hint)
{
    if (hint == m_hint)
        return;
    m_hint = hint;
    UpdateTray();
}

void TRxTrayIcon::SetIcon(const QIcon& icon)
{
    m_icon = icon;
    UpdateTray();
}

QIcon TRxTrayIcon::CurrentIcon() const
{
    if (m_icons.Count() == 0 || !Animated())
        return m_icon;
    // A list that shrank under a later frame shows its first one.
    const int index = std::max(m_iconIndex, 0);
    return m_icons.Items(index < m_icons.Count() ? index : 0);
}

QString TRxTrayIcon::Tip() const
{
    return m_hint.section(QLatin1Char('|'), 0, 0).left(MaxTipLength);
}

void TRxTrayIcon::ShowIcon()
{
    HideIcon();
    const QIcon current = CurrentIcon();
    if (!current.isNull())
        m_added = m_notifyIcon->Add(current, Tip());
    if (m_animationThread && m_animationThread->Suspended())
        m_animationThread->Resume();
}

void TRxTrayIcon::HideIcon()
{
    m_notifyIcon->Remove();
    m_added = false;
    if (m_animationThread && !m_animationThread->Suspended())
        m_animationThread->Suspend();
}

void TRxTrayIcon::UpdateTray()
{
    if (m_loading)
        return;
    if (m_icons.Count() == 0 && Animated()) {
        SetAnimated(false); // updates the tray itself
        return;
    }
    if (!m_added) {
        if (m_active)
            ShowIcon();
        return;
    }
    const QIcon current = CurrentIcon();
    if (current.isNull())
        HideIcon();
    else
        m_notifyIcon->Modify(current, Tip());
}

void TRxTrayIcon::Advance()
{
    if (m_destroying || !m_animated)
        return;
    ++m_iconIndex;
    if (m_iconIndex >= m_icons.Count())
        m_iconIndex = 0;
    UpdateTray();
}

void TRxTrayIcon::PostStep(std::uint64_t generation)
{
    if (m_stepPending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        m_trayWindow.get(), [this, generation] { Step(generation); }, Qt::QueuedConnection);
}

void TRxTrayIcon::Step(std::uint64_t generation)
{
    m_stepPending = false;
    // A worker that was stopped, or one whose icon left the tray since, steps nothing.
    if (generation != m_threadGeneration || !m_animationThread || m_animationThread->Suspended())
        return;
    Advance();
}

void TRxTrayIcon::Dispatch(unsigned message, std::intptr_t lParam)
{
    try {
        WindowProc(message, lParam);
    } catch (const std::exception& error) {
        if (m_errorHandler)
            m_errorHandler(error);
    }
}

void TRxTrayIcon::WindowProc(unsigned message, std::intptr_t lParam)
{
    if (message != TrayCallback)
        return;
    switch (lParam) {
    case NotificationIcon::LeftButtonUp:
        Click(mbLeft);
        break;
    case NotificationIcon::LeftButtonDoubleClick:
        DblClick();
        break;
    case NotificationIcon::RightButtonUp:
        Click(mbRight);
        break;
    default:
        break;
    }
}

void TRxTrayIcon::Click(TMouseButton button)
{
    const QPoint cursor = m_area.CursorPos();
    if (OnClick)
        OnClick(*this, button, 0, cursor.x(), cursor.y());
}

void TRxTrayIcon::DblClick()
{
    if (OnDblClick)
        OnDblClick(*this);
}
