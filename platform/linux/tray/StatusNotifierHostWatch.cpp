#include "platform/linux/tray/StatusNotifierHostWatch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
// A panel that is still starting may take a moment; one that hangs must not hold up the start.
constexpr int StartQueryTimeoutMs = 1000;

QDBusMessage HostQuery()
{
    QDBusMessage query = QDBusMessage::createMethodCall(
        WatcherService, WatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    query << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    return query;
}

} // namespace

StatusNotifierHostWatch::StatusNotifierHostWatch()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    m_watcher.setConnection(bus);
    m_watcher.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    m_watcher.addWatchedService(WatcherService);
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) { OwnerChanged(owner); });
    bus.connect(WatcherService, WatcherPath, WatcherService, QStringLiteral("StatusNotifierHostRegistered"), this,
                SLOT(HostRegistered()));
    bus.connect(WatcherService, WatcherPath, WatcherService, QStringLiteral("StatusNotifierHostUnregistered"), this,
                SLOT(HostUnregistered()));

    m_owner = bus.interface()->serviceOwner(WatcherService).value();
    if (m_owner.isEmpty())
        return;
    const QDBusMessage reply = bus.call(HostQuery(), QDBus::Block, StartQueryTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        m_hostRegistered = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
    else
        AskHost(); // too slow now: the answer may still come
}

void StatusNotifierHostWatch::OwnerChanged(const QString& owner)
{
    if (owner == m_owner)
        return;
    m_owner = owner;
    m_hostRegistered = false;
    if (!owner.isEmpty())
        AskHost();
    emit Changed();
}

void StatusNotifierHostWatch::AskHost()
{
    auto* pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(HostQuery()), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, owner = m_owner](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *finished;
                if (owner == m_owner && reply.isValid())
                    SetHostRegistered(reply.value().variant().toBool());
            });
}

void StatusNotifierHostWatch::HostRegistered()
{
    SetHostRegistered(true);
}

void StatusNotifierHostWatch::HostUnregistered()
{
    // Other hosts may remain: the watcher's property says.
    AskHost();
}

void StatusNotifierHostWatch::SetHostRegistered(bool registered)
{
    if (registered == m_hostRegistered || m_owner.isEmpty())
        return;
    m_hostRegistered = registered;
    emit Changed();
}
