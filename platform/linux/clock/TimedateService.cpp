#include "platform/linux/clock/TimedateService.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <cerrno>

namespace {

const QString Service = QStringLiteral("org.freedesktop.timedate1");
const QString AutomaticSync = QStringLiteral("org.freedesktop.timedate1.AutomaticTimeSyncEnabled");
// Long enough for the user to answer the authentication agent.
constexpr int ReplyTimeoutMs = 120000;

bool NoService(const QString& error)
{
    return error == u"org.freedesktop.DBus.Error.ServiceUnknown" || error == u"org.freedesktop.DBus.Error.NoServer"
        || error == u"org.freedesktop.DBus.Error.NameHasNoOwner" || error == u"org.freedesktop.DBus.Error.Disconnected"
        || error == u"org.freedesktop.DBus.Error.Spawn.ChildExited";
}

} // namespace

std::optional<ClockResult> TimedateService::MoveClock(std::int64_t microseconds)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return std::nullopt;
    // Relative: a time taken now would be late by however long the user takes to authenticate.
    QDBusMessage call = QDBusMessage::createMethodCall(Service, QStringLiteral("/org/freedesktop/timedate1"), Service,
                                                       QStringLiteral("SetTime"));
    call << static_cast<qlonglong>(microseconds) << true << true;
    call.setInteractiveAuthorizationAllowed(true);
    const QDBusMessage reply = bus.call(call, QDBus::BlockWithGui, ReplyTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return ClockResult {};
    if (NoService(reply.errorName()))
        return std::nullopt;
    return ClockResult { EPERM, reply.errorMessage(),
                         reply.errorName() == AutomaticSync ? ClockRefuser::AutomaticSync : ClockRefuser::TimeService };
}
