#include "platform/linux/tray/DesktopTrayIcon.h"

#include "platform/linux/tray/StatusNotifierHostWatch.h"

#include <QGuiApplication>
#include <QStyleHints>

DesktopTrayIcon::DesktopTrayIcon(DesktopTrayIconOwner& area, StatusNotifierHostWatch& host, const QString& id,
                                 const QString& name)
    : m_area(area)
    , m_host(host)
    , m_xembed(name)
    , m_item(id, name)
{
    m_xembed.OnMouseMessage = [this](int message) {
        if (OnMouseMessage)
            OnMouseMessage(message);
    };
    m_item.OnActivate = [this](QPoint at) { Activate(at); };
    m_item.OnSecondaryActivate = [this](QPoint at) { Deliver(at, { MiddleButtonDown, MiddleButtonUp }); };
    m_item.OnContextMenu = [this](QPoint at) { Deliver(at, { RightButtonDown, RightButtonUp }); };
    m_item.MenuEnabled = [this] { return !MenuEnabled || MenuEnabled(); };
    m_item.OnMenuOpening = [this] {
        if (OnMenuOpening)
            OnMenuOpening();
    };
    m_item.OnMenuChoice = [this](int index) {
        if (OnMenuChoice)
            OnMenuChoice(index);
    };
    m_item.OnRefused = [this] {
        m_refusedBy = m_registeredWith;
        Update();
    };
}

DesktopTrayIcon::~DesktopTrayIcon()
{
    m_area.Forget(this);
}

bool DesktopTrayIcon::Add(const QIcon& icon, const QString& tip)
{
    Modify(icon, tip);
    m_wanted = true;
    Update();
    return true;
}

void DesktopTrayIcon::Modify(const QIcon& icon, const QString& tip)
{
    m_xembed.SetImage(icon);
    m_xembed.SetToolTip(tip);
    m_item.SetImage(icon);
    m_item.SetToolTip(tip);
}

void DesktopTrayIcon::Remove()
{
    m_wanted = false;
    Update();
}

void DesktopTrayIcon::ExportMenu(const QStringList& entries)
{
    m_item.SetMenu(entries);
}

void DesktopTrayIcon::Update()
{
    // The one going away leaves first, so that a tray hosting both never shows two.
    if (m_wanted && m_host.Available() && m_host.Owner() != m_refusedBy) {
        m_xembed.Hide();
        if (m_registeredWith == m_host.Owner() && m_item.Registered())
            return;
        if (m_item.Register()) {
            m_registeredWith = m_host.Owner();
            return;
        }
    }
    m_item.Unregister();
    m_registeredWith.clear();
    if (m_wanted)
        m_xembed.Show();
    else
        m_xembed.Hide();
}

void DesktopTrayIcon::Activate(QPoint at)
{
    // Hosts report each click of a double-click as an activation of its own; the second is
    // part of the same gesture, not another request.
    if (m_lastActivation.isValid()
        && m_lastActivation.elapsed() <= QGuiApplication::styleHints()->mouseDoubleClickInterval())
        return;
    m_lastActivation.start();
    Deliver(at, ActivateMessages);
}

void DesktopTrayIcon::Deliver(QPoint at, const QList<int>& messages)
{
    m_area.DeliverAt(at, [this, messages] {
        for (int message : messages)
            if (OnMouseMessage)
                OnMouseMessage(message);
    });
}
