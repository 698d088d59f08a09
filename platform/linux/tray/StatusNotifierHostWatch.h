#pragma once

#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

// Follows the StatusNotifierWatcher on the session bus: whether one runs with a host registered
// (a panel that shows StatusNotifierItems), and which connection it is. Without a session bus
// it never reports one.
class StatusNotifierHostWatch final : public QObject
{
    Q_OBJECT

public:
    // Asks the bus at once, so that the first icon already knows what the desktop offers.
    StatusNotifierHostWatch();

    bool Available() const { return !m_owner.isEmpty() && m_hostRegistered; }
    // The watcher's unique connection name; a new one is a watcher that knows no items yet.
    const QString& Owner() const { return m_owner; }

signals:
    // Available() or Owner() changed.
    void Changed();

private slots:
    // The watcher's signals; QtDBus reaches them by name only.
    void HostRegistered();
    void HostUnregistered();

private:
    void OwnerChanged(const QString& owner);
    void AskHost();
    void SetHostRegistered(bool registered);

    QDBusServiceWatcher m_watcher;
    QString m_owner;
    bool m_hostRegistered = false;
};
