#include "components/TrayIcon.h"

#include "base/ApplicationServices.h"
#include "base/Errors.h"
#include "components/PopupMenu.h"
#include "platform/NotificationArea.h"

TTrayIcon::TTrayIcon(ApplicationServices& application, NotificationArea& area, const QIcon& applicationIcon)
    : m_application(application)
    , m_area(area)
    , m_notifyIcon(area.CreateIcon())
    , m_icon(applicationIcon)
{
    m_notifyTip = application.Title().left(MaxTipLength);
    m_notifyFlags = nifMessage | nifIcon | (m_notifyTip.isEmpty() ? 0u : nifTip);
    m_notifyIcon->OnMouseMessage = [this](int message) { Dispatch(IconMessage, 0, message); };
    m_notifyIcon->OnEndSession = [this] { Dispatch(WM_ENDSESSION, 1, 0); };
    // Where the desktop reports one activation instead of buttons, it stands for a double-click,
    // so that a single click does what the double-click does here.
    m_notifyIcon->ActivateMessages = { NotificationIcon::LeftButtonDown, NotificationIcon::LeftButtonUp,
                                       NotificationIcon::LeftButtonDoubleClick, NotificationIcon::LeftButtonUp };
    m_notifyIcon->MenuEnabled = [this] { return MenuAllowed(); };
    m_notifyIcon->OnMenuOpening = [this] {
        Guard([this] {
            if (MenuAllowed())
                m_popupMenu->NotifyPopup();
        });
    };
    m_notifyIcon->OnMenuChoice = [this](int index) {
        Guard([this, index] {
            if (MenuAllowed())
                m_popupMenu->Choose(index);
        });
    };
    if (!m_notifyIcon->Add(m_icon, m_notifyTip))
        throw EOutOfResources("Cannot create shell notification icon");
    m_application.OnMinimize = [this] { Minimize(); };
    m_application.OnRestore = [this] { Restore(); };
}

TTrayIcon::~TTrayIcon()
{
    m_application.OnMinimize = nullptr;
    m_application.OnRestore = nullptr;
    RemoveIcon();
}

void TTrayIcon::SetHint(const QString& hint)
{
    if (hint == m_hint)
        return;
    m_hint = hint;
    m_notifyTip = hint.left(MaxTipLength);
    if (hint.isEmpty())
        m_notifyFlags &= ~nifTip;
    else
        m_notifyFlags |= nifTip;
    UpdateIcon();
}

void TTrayIcon::SetPopupMenu(TPopupMenu* menu)
{
    m_popupMenu = menu;
    m_notifyIcon->ExportMenu(menu ? menu->Entries() : QStringList());
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    if (icon.cacheKey() == m_icon.cacheKey())
        return;
    m_icon = icon;
    UpdateIcon();
}

void TTrayIcon::UpdateIcon()
{
    m_notifyIcon->Modify(m_icon, (m_notifyFlags & nifTip) ? m_notifyTip : QString());
}

void TTrayIcon::RemoveIcon()
{
    m_notifyIcon->Remove();
}

void TTrayIcon::Minimize()
{
    m_application.ShowTaskbarWindow(false);
    if (OnMinimize)
        OnMinimize();
}

void TTrayIcon::Restore()
{
    if (OnBeforeRestore)
        OnBeforeRestore();
    m_application.ShowTaskbarWindow(true);
    if (OnRestore)
        OnRestore();
}

bool TTrayIcon::MenuAllowed() const
{
    return m_popupMenu && !m_application.TaskbarWindowOnScreen();
}

void TTrayIcon::ShowPopup()
{
    if (!MenuAllowed())
        return;
    const QPoint cursor = m_area.CursorPos();
    m_popupMenu->Popup(cursor.x(), cursor.y());
}

void TTrayIcon::Dispatch(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    Guard([&] { WindowProc(message, wParam, lParam); });
}

void TTrayIcon::Guard(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        m_application.HandleException(error);
    }
}

std::intptr_t TTrayIcon::WindowProc(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (message) {
    case WM_QUERYENDSESSION:
        return 1;
    case WM_ENDSESSION:
        if (wParam != 0)
            RemoveIcon();
        return 0;
    case IconMessage:
        MouseMessage(static_cast<int>(lParam));
        return 0;
    default:
        return 0;
    }
}

void TTrayIcon::MouseMessage(int message)
{
    switch (message) {
    case NotificationIcon::MouseMove:
        if (OnMouseMove) {
            const QPoint cursor = m_area.CursorPos();
            OnMouseMove(m_area.KeyState(), cursor.x(), cursor.y());
        }
        break;
    case NotificationIcon::LeftButtonDown:
        MouseDown(mbLeft, ssLeft);
        m_pendingClick = true;
        break;
    case NotificationIcon::LeftButtonUp:
        // A press that began elsewhere and ended over the icon is no click.
        if (m_pendingClick) {
            m_pendingClick = false;
            Click();
        }
        MouseUp(mbLeft, ssLeft);
        break;
    case NotificationIcon::RightButtonDown:
        MouseDown(mbRight, ssRight);
        ShowPopup();
        break;
    case NotificationIcon::RightButtonUp:
        MouseUp(mbRight, ssRight);
        break;
    case NotificationIcon::MiddleButtonDown:
        MouseDown(mbMiddle, ssMiddle);
        break;
    case NotificationIcon::MiddleButtonUp:
        MouseUp(mbMiddle, ssMiddle);
        break;
    case NotificationIcon::LeftButtonDoubleClick:
    case NotificationIcon::RightButtonDoubleClick:
    case NotificationIcon::MiddleButtonDoubleClick:
        DblClick();
        break;
    default:
        break;
    }
}

void TTrayIcon::MouseDown(TMouseButton button, unsigned buttonShift)
{
    if (OnMouseDown) {
        const QPoint cursor = m_area.CursorPos();
        OnMouseDown(button, m_area.KeyState() | buttonShift, cursor.x(), cursor.y());
    }
}

void TTrayIcon::MouseUp(TMouseButton button, unsigned buttonShift)
{
    if (OnMouseUp) {
        const QPoint cursor = m_area.CursorPos();
        OnMouseUp(button, m_area.KeyState() | buttonShift, cursor.x(), cursor.y());
    }
}

void TTrayIcon::Click()
{
    if (OnClick)
        OnClick();
}

void TTrayIcon::DblClick()
{
    if (OnDblClick)
        OnDblClick();
}
