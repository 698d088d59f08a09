#include "platform/linux/QtNotificationArea.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QSystemTrayIcon>

class QtNotificationIcon final : public NotificationIcon
{
public:
    explicit QtNotificationIcon(QtNotificationArea& area)
        : m_area(area)
    {
        QObject::connect(&m_icon, &QSystemTrayIcon::activated,
                         [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
    }
    ~QtNotificationIcon() override { m_area.Forget(this); }

    bool Add(const QIcon& icon, const QString& tip) override
    {
        m_icon.setIcon(icon);
        m_icon.setToolTip(tip);
        // Without a tray host yet, Qt keeps the icon and embeds it once a host appears; an
        // autostarted program often comes up before the panel, so this is not a refusal.
        m_icon.show();
        return true;
    }

    void Modify(const QIcon& icon, const QString& tip) override
    {
        m_icon.setIcon(icon);
        m_icon.setToolTip(tip);
    }

    void Remove() override { m_icon.hide(); }

private:
    // Qt reports activations; the tray components expect the mouse messages behind them.
    void Activated(QSystemTrayIcon::ActivationReason reason)
    {
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            Send({ LeftButtonDown, LeftButtonUp });
            break;
        case QSystemTrayIcon::DoubleClick:
            Send({ LeftButtonDoubleClick });
            break;
        case QSystemTrayIcon::Context:
            Send({ RightButtonDown, RightButtonUp });
            break;
        case QSystemTrayIcon::MiddleClick:
            Send({ MiddleButtonDown, MiddleButtonUp });
            break;
        case QSystemTrayIcon::Unknown:
            break;
        }
    }

    void Send(std::initializer_list<MouseMessage> messages)
    {
        for (const MouseMessage message : messages)
            if (OnMouseMessage)
                OnMouseMessage(message);
    }

    QtNotificationArea& m_area;
    QSystemTrayIcon m_icon;
};

std::unique_ptr<NotificationIcon> QtNotificationArea::CreateIcon()
{
    auto icon = std::make_unique<QtNotificationIcon>(*this);
    m_icons.append(icon.get());
    return icon;
}

QPoint QtNotificationArea::CursorPos() const
{
    return QCursor::pos();
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
    const QList<QtNotificationIcon*> icons = m_icons;
    for (QtNotificationIcon* icon : icons)
        if (m_icons.contains(icon) && icon->OnEndSession)
            icon->OnEndSession();
}

void QtNotificationArea::Forget(QtNotificationIcon* icon)
{
    m_icons.removeAll(icon);
}
