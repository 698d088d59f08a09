#pragma once

#include <QDBusVirtualObject>
#include <QHash>
#include <QString>
#include <QVariantMap>

#include <optional>

class QDBusConnection;
class QDBusMessage;

// An object exported on a bus connection, which any client of that bus may call with any
// arguments. Every method's arguments are checked against its signature before one of them is
// read: reading a value as another type ends the program.
class ExportedDBusObject : public QDBusVirtualObject
{
public:
    // The reply or error for `call`; an invalid message when the call is none of this object's
    // methods, which the connection then answers itself (introspection, unknown methods).
    virtual QDBusMessage Answer(const QDBusMessage& call) = 0;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) final;

protected:
    // Each method's name with the signature of its arguments.
    using Methods = QHash<QString, QString>;

    // Nothing when `call` is one of `methods` with the arguments it takes. Else its answer: an
    // InvalidArgs error for other arguments, an UnknownMethod error for none of the methods, or
    // an invalid message for none of them asked without an interface.
    static std::optional<QDBusMessage> Refusal(const QDBusMessage& call, const Methods& methods);
    // org.freedesktop.DBus.Properties over read-only `properties`.
    static QDBusMessage AnswerProperties(const QDBusMessage& call, const QVariantMap& properties);
};
