#include "platform/linux/tray/ExportedDBusObject.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

bool ExportedDBusObject::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QDBusMessage answer = Answer(message);
    if (answer.type() == QDBusMessage::InvalidMessage)
        return false;
    connection.send(answer);
    return true;
}

std::optional<QDBusMessage> ExportedDBusObject::Refusal(const QDBusMessage& call, const Methods& methods)
{
    const auto method = methods.constFind(call.member());
    // Without an interface the call may still be one the connection answers itself.
    if (method == methods.cend() && call.interface().isEmpty())
        return QDBusMessage();
    if (method == methods.cend())
        return call.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("No such method"));
    if (call.signature() == *method)
        return std::nullopt;
    return call.createErrorReply(
        QDBusError::InvalidArgs,
        QStringLiteral("%1 takes \"%2\", not \"%3\"").arg(call.member(), *method, call.signature()));
}

QDBusMessage ExportedDBusObject::AnswerProperties(const QDBusMessage& call, const QVariantMap& properties)
{
    static const Methods methods { { QStringLiteral("Get"), QStringLiteral("ss") },
                                   { QStringLiteral("GetAll"), QStringLiteral("s") },
                                   { QStringLiteral("Set"), QStringLiteral("ssv") } };
    if (const std::optional<QDBusMessage> refusal = Refusal(call, methods))
        return *refusal;
    if (call.member() == QLatin1String("GetAll"))
        return call.createReply(QVariant(properties));
    const QString name = call.arguments().at(1).toString();
    if (!properties.contains(name))
        return call.createErrorReply(QDBusError::UnknownProperty, QStringLiteral("No such property"));
    if (call.member() == QLatin1String("Set"))
        return call.createErrorReply(QDBusError::PropertyReadOnly, QStringLiteral("The property is read-only"));
    return call.createReply(QVariant::fromValue(QDBusVariant(properties.value(name))));
}
