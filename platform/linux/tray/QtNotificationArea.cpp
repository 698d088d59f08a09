#include "platform/linux/tray/QtNotificationArea.h"

#include "platform/linux/tray/DesktopTrayIcon.h"
#include "platform/linux/tray/StatusNotifierHostWatch.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

QtNotificationArea::QtNotificationArea()
    : m_host(std::make_unique<StatusNotifierHostWatch>())
{
    QObject::connect(m_host.get(), &StatusNotifierHostWatch::Changed, [this] {
        const QList<DesktopTrayIcon*> icons = m_icons;
        for (DesktopTrayIcon* icon : icons)
            if (m_icons.contains(icon))
                icon->Update();
    });
}

QtNotificationArea::~QtNotificationArea() = default;

std::unique_ptr<NotificationIcon> QtNotificationArea::CreateIcon()
{
    // The host tells the program's icons apart by their ids: the first bears the program's
    // name, later ones a number beside it.
    const QString name = QCoreApplication::applicationName();
    const QString id = m_created == 0 ? name : QStringLiteral("%1-%2").arg(name).arg(m_created + 1);
    ++m_created;
    auto icon = std::make_unique<DesktopTrayIcon>(static_cast<DesktopTrayIconOwner&>(*this), *m_host, id, name);
    m_icons.append(icon.get());
    return icon;
}

QPoint QtNotificationArea::CursorPos() const
{
    return m_deliveredAt.value_or(QCursor::pos());
}

unsigned QtNotificationArea::KeyState() const
{
    const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
    unsigned shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= ShiftKey;
    if (modifiers & Qt::AltModifier)
        shift |= AltKey;
    if (modifiers & Qt::ControlModifier)
        shift |= CtrlKey;
    return shift;
}

void QtNotificationArea::EndSession()
{
    const QList<DesktopTrayIcon*> icons = m_icons;
    for (DesktopTrayIcon* icon : icons)
        if (m_icons.contains(icon) && icon->OnEndSession)
            icon->OnEndSession();
}

void QtNotificationArea::Forget(DesktopTrayIcon* icon)
{
    m_icons.removeAll(icon);
}

void QtNotificationArea::DeliverAt(QPoint at, const std::function<void()>& deliver)
{
    const std::optional<QPoint> outer = m_deliveredAt;
    if (!at.isNull())
        m_deliveredAt = at;
    deliver();
    m_deliveredAt = outer;
}
