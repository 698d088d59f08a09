#include "platform/linux/tray/DBusMenuExporter.h"

#include "platform/linux/tray/StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMetaObject>

namespace {

const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// dbusmenu marks mnemonics with "_" where Qt uses "&".
QString Label(const QString& caption)
{
    QString label;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        const QChar c = caption[i];
        if (c == QLatin1Char('_'))
            label += QStringLiteral("__");
        else if (c == QLatin1Char('&') && i + 1 < caption.size())
            label += caption[++i] == QLatin1Char('&') ? QStringLiteral("&") : QStringLiteral("_") + caption[i];
        else
            label += c;
    }
    return label;
}

QDBusMessage NoSuchItem(const QDBusMessage& call)
{
    return call.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("No such menu item"));
}

QVariantMap Filtered(const QVariantMap& properties, const QStringList& names)
{
    if (names.isEmpty())
        return properties;
    QVariantMap filtered;
    for (const QString& name : names)
        if (properties.contains(name))
            filtered.insert(name, properties.value(name));
    return filtered;
}

} // namespace

void DBusMenuExporter::SetEntries(const QStringList& entries)
{
    if (entries == m_entries)
        return;
    m_entries = entries;
    ++m_revision;
    if (m_connectionName.isEmpty())
        return;
    QDBusMessage signal
        = QDBusMessage::createSignal(QLatin1String(Path), QLatin1String(Interface), QStringLiteral("LayoutUpdated"));
    signal << m_revision << 0;
    QDBusConnection(m_connectionName).send(signal);
}

QVariantMap DBusMenuExporter::Properties(int id, const QStringList& names) const
{
    QVariantMap properties;
    if (id == 0)
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    else if (m_entries[id - 1].isEmpty())
        properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
    else
        properties = { { QStringLiteral("label"), Label(m_entries[id - 1]) },
                       { QStringLiteral("enabled"), !Enabled || Enabled() } };
    return Filtered(properties, names);
}

DBusMenuLayout DBusMenuExporter::Layout(int id, int depth, const QStringList& names) const
{
    DBusMenuLayout layout { id, Properties(id, names), {} };
    if (id == 0 && depth != 0)
        for (int child = 1; child <= m_entries.size(); ++child)
            layout.children << QVariant::fromValue(Layout(child, depth - 1, names));
    return layout;
}

bool DBusMenuExporter::Event(int id, const QString& eventId)
{
    if (!Exists(id))
        return false;
    if (eventId == QLatin1String("clicked") && id > 0) {
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                if (OnChoice)
                    OnChoice(id - 1);
            },
            Qt::QueuedConnection);
    }
    return true;
}

bool DBusMenuExporter::EnabledChanged()
{
    const bool enabled = !Enabled || Enabled();
    if (enabled == m_enabledSent)
        return false;
    m_enabledSent = enabled;
    ++m_revision;
    return true;
}

void DBusMenuExporter::QueueOpening()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (OnOpening)
                OnOpening();
        },
        Qt::QueuedConnection);
}

QDBusMessage DBusMenuExporter::Answer(const QDBusMessage& call)
{
    if (call.interface() == PropertiesInterface)
        return AnswerProperties(call,
                                { { QStringLiteral("Version"), QVariant::fromValue(3u) },
                                  { QStringLiteral("TextDirection"), QStringLiteral("ltr") },
                                  { QStringLiteral("Status"), QStringLiteral("normal") },
                                  { QStringLiteral("IconThemePath"), QStringList() } });
    if (!call.interface().isEmpty() && call.interface() != QLatin1String(Interface))
        return {};
    static const Methods methods {
        { QStringLiteral("GetLayout"), QStringLiteral("iias") },
        { QStringLiteral("GetGroupProperties"), QStringLiteral("aias") },
        { QStringLiteral("GetProperty"), QStringLiteral("is") },
        { QStringLiteral("Event"), QStringLiteral("isvu") },
        { QStringLiteral("EventGroup"), QStringLiteral("a(isvu)") },
        { QStringLiteral("AboutToShow"), QStringLiteral("i") },
        { QStringLiteral("AboutToShowGroup"), QStringLiteral("ai") },
    };
    if (const std::optional<QDBusMessage> refusal = Refusal(call, methods))
        return *refusal;

    const QString member = call.member();
    const QVariantList args = call.arguments();
    const QDBusMessage noItem = NoSuchItem(call);
    if (member == QLatin1String("GetLayout")) {
        const int parent = args[0].toInt();
        if (!Exists(parent))
            return noItem;
        return call.createReply({ QVariant::fromValue(m_revision),
                                  QVariant::fromValue(Layout(parent, args[1].toInt(), args[2].toStringList())) });
    }
    if (member == QLatin1String("GetGroupProperties")) {
        QList<int> ids = qdbus_cast<QList<int>>(args[0]);
        if (ids.isEmpty())
            for (int id = 0; id <= m_entries.size(); ++id)
                ids << id;
        DBusMenuItemList items;
        for (int id : ids)
            if (Exists(id))
                items << DBusMenuItem { id, Properties(id, args[1].toStringList()) };
        return call.createReply(QVariant::fromValue(items));
    }
    if (member == QLatin1String("GetProperty")) {
        const QVariantMap properties = Exists(args[0].toInt()) ? Properties(args[0].toInt(), {}) : QVariantMap();
        if (!properties.contains(args[1].toString()))
            return noItem;
        return call.createReply(QVariant::fromValue(QDBusVariant(properties.value(args[1].toString()))));
    }
    if (member == QLatin1String("Event"))
        return Event(args[0].toInt(), args[1].toString()) ? call.createReply() : noItem;
    if (member == QLatin1String("EventGroup")) {
        QList<int> errors;
        for (const DBusMenuEvent& event : qdbus_cast<DBusMenuEventList>(args[0]))
            if (!Event(event.id, event.eventId))
                errors << event.id;
        return call.createReply(QVariant::fromValue(errors));
    }
    if (member == QLatin1String("AboutToShow")) {
        const int id = args[0].toInt();
        if (!Exists(id))
            return noItem;
        if (id != 0)
            return call.createReply(false);
        QueueOpening();
        return call.createReply(EnabledChanged());
    }
    QList<int> updates;
    QList<int> errors;
    for (int id : qdbus_cast<QList<int>>(args[0])) {
        if (!Exists(id)) {
            errors << id;
        } else if (id == 0) {
            QueueOpening();
            if (EnabledChanged())
                updates << 0;
        }
    }
    return call.createReply({ QVariant::fromValue(updates), QVariant::fromValue(errors) });
}

QString DBusMenuExporter::introspect(const QString&) const
{
    return QStringLiteral(R"xml(<interface name="com.canonical.dbusmenu">
  <property name="Version" type="u" access="read"/>
  <property name="TextDirection" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="IconThemePath" type="as" access="read"/>
  <method name="GetLayout">
    <arg type="i" name="parentId" direction="in"/>
    <arg type="i" name="recursionDepth" direction="in"/>
    <arg type="as" name="propertyNames" direction="in"/>
    <arg type="u" name="revision" direction="out"/>
    <arg type="(ia{sv}av)" name="layout" direction="out"/>
  </method>
  <method name="GetGroupProperties">
    <arg type="ai" name="ids" direction="in"/>
    <arg type="as" name="propertyNames" direction="in"/>
    <arg type="a(ia{sv})" name="properties" direction="out"/>
  </method>
  <method name="GetProperty">
    <arg type="i" name="id" direction="in"/>
    <arg type="s" name="name" direction="in"/>
    <arg type="v" name="value" direction="out"/>
  </method>
  <method name="Event">
    <arg type="i" name="id" direction="in"/>
    <arg type="s" name="eventId" direction="in"/>
    <arg type="v" name="data" direction="in"/>
    <arg type="u" name="timestamp" direction="in"/>
  </method>
  <method name="EventGroup">
    <arg type="a(isvu)" name="events" direction="in"/>
    <arg type="ai" name="idErrors" direction="out"/>
  </method>
  <method name="AboutToShow">
    <arg type="i" name="id" direction="in"/>
    <arg type="b" name="needUpdate" direction="out"/>
  </method>
  <method name="AboutToShowGroup">
    <arg type="ai" name="ids" direction="in"/>
    <arg type="ai" name="updatesNeeded" direction="out"/>
    <arg type="ai" name="idErrors" direction="out"/>
  </method>
  <signal name="ItemsPropertiesUpdated">
    <arg type="a(ia{sv})" name="updatedProps" direction="out"/>
    <arg type="a(ias)" name="removedProps" direction="out"/>
  </signal>
  <signal name="LayoutUpdated">
    <arg type="u" name="revision" direction="out"/>
    <arg type="i" name="parent" direction="out"/>
  </signal>
  <signal name="ItemActivationRequested">
    <arg type="i" name="id" direction="out"/>
    <arg type="u" name="timestamp" direction="out"/>
  </signal>
</interface>
)xml");
}
