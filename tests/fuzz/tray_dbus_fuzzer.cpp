// Any client of the session bus may call the tray's exported objects with any arguments: whatever
// a call carries, the item and its menu answer it (a reply or an error) and the program goes on.
// Calls are marshalled from random signatures and values, or from the signatures the objects
// describe with random values, and cross a real peer-to-peer connection as the bus delivers them.
#include "platform/linux/tray/DBusMenuExporter.h"
#include "platform/linux/tray/StatusNotifierItem.h"
#include "platform/linux/tray/StatusNotifierTypes.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServer>
#include <QDBusSignature>
#include <QThread>
#include <QXmlStreamReader>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

// The fuzzer's bytes as a series of choices; past their end every choice is the first.
class Choices
{
public:
    Choices(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_end(data + size)
    { }
    unsigned Next(unsigned count) { return m_data < m_end ? *m_data++ % count : 0; }
    // Mostly near the menu's item numbers, sometimes far.
    qint64 Number() { return Next(4) ? qint64(Next(24)) - 8 : qint64(Next(256)) << 24 | Next(256) << 8; }

private:
    const std::uint8_t* m_data;
    const std::uint8_t* m_end;
};

const char Basic[] = "ybnqiuxtdsog";
// The marshaller writes arrays and maps only of the types registered with it.
QList<QMetaType> Registered;
const char* const Texts[] = { "", "clicked", "label", "org.kde.StatusNotifierItem", "\xc3\xa9" };

QMetaType RegisteredType(const QByteArray& signature)
{
    for (QMetaType type : Registered)
        if (signature == QDBusMetaType::typeToSignature(type))
            return type;
    std::abort();
}

// A complete type at most `depth` containers deep.
QByteArray Type(Choices& in, int depth)
{
    const QByteArray basic(1, Basic[in.Next(sizeof Basic - 1)]);
    const QByteArray registered = QDBusMetaType::typeToSignature(Registered[in.Next(Registered.size())]);
    switch (depth > 0 ? in.Next(6) : 0) {
    case 1:
        return "v";
    case 2: {
        QByteArray structure = "(";
        for (unsigned members = 1 + in.Next(4); members > 0; --members)
            structure += Type(in, depth - 1);
        return structure + ')';
    }
    case 3:
        return "a" + registered;
    case 4:
        return "a{" + basic + registered + '}';
    case 5:
        return registered;
    default:
        return basic;
    }
}

// Where the complete type beginning at `at` ends.
qsizetype End(const QByteArray& type, qsizetype at)
{
    int open = 0;
    do {
        const char code = type[at++];
        open += (code == '(' || code == '{') - (code == ')' || code == '}');
    } while (open > 0 || type[at - 1] == 'a');
    return at;
}

QVariant Value(const QByteArray& type, Choices& in, int depth);

// Writes a value of the complete type beginning at `at`, and moves `at` past it.
void Write(QDBusArgument& out, const QByteArray& type, qsizetype& at, Choices& in, int depth)
{
    const char code = type[at++];
    if (code == '(') {
        out.beginStructure();
        while (type[at] != ')')
            Write(out, type, at, in, depth);
        ++at;
        out.endStructure();
        return;
    }
    if (code == 'a') { // an array, a map when its element is a dictionary entry
        const bool map = type[at] == '{';
        const qsizetype element = at + map;
        const qsizetype end = End(type, at);
        if (map)
            out.beginMap(RegisteredType(type.mid(element, 1)),
                         RegisteredType(type.mid(element + 1, end - element - 2)));
        else
            out.beginArray(RegisteredType(type.mid(element, end - element)));
        for (unsigned count = in.Next(4); count > 0; --count) {
            qsizetype next = element;
            if (map)
                out.beginMapEntry();
            for (int part = 0; part <= int(map); ++part)
                Write(out, type, next, in, depth);
            if (map)
                out.endMapEntry();
        }
        if (map)
            out.endMap();
        else
            out.endArray();
        at = end;
        return;
    }
    QVariant value = in.Number();
    if (code == 's')
        value = QString::fromUtf8(Texts[in.Next(std::size(Texts))]);
    else if (code == 'o')
        value = QVariant::fromValue(QDBusObjectPath(in.Next(2) ? "/MenuBar" : "/"));
    else if (code == 'g')
        value = QVariant::fromValue(QDBusSignature(QString::fromLatin1(Type(in, 1))));
    else if (code == 'v')
        value = QVariant::fromValue(QDBusVariant(Value(Type(in, depth), in, depth - 1)));
    else
        value.convert(RegisteredType(QByteArray(1, code)));
    out.appendVariant(value);
}

QVariant Value(const QByteArray& type, Choices& in, int depth)
{
    QDBusArgument value;
    qsizetype at = 0;
    Write(value, type, at, in, depth);
    return QVariant::fromValue(value);
}

QDBusConnection* Caller = nullptr;

// A method an object describes, with the signature of its arguments.
struct Method
{
    QString path;
    QString interface;
    QString member;
    QByteArray signature;
};
QList<Method> Methods;

void Learn(const QString& path)
{
    const QString introspectable = QStringLiteral("org.freedesktop.DBus.Introspectable");
    const QDBusMessage description
        = Caller->call(QDBusMessage::createMethodCall({}, path, introspectable, QStringLiteral("Introspect")));
    QXmlStreamReader xml(description.arguments().value(0).toString());
    QString interface;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == u"interface")
            interface = attributes.value("name").toString();
        else if (xml.name() == u"method")
            Methods << Method { path, interface, attributes.value("name").toString(), {} };
        else if (xml.name() == u"arg" && attributes.value("direction") == u"in")
            Methods.last().signature += attributes.value("type").toLatin1();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    new QCoreApplication(*argc, *argv);
    RegisterStatusNotifierTypes();
    for (int id = 1; id < QMetaType::User + 1000; ++id) {
        const char* signature = QDBusMetaType::typeToSignature(QMetaType(id));
        if (signature && !std::strchr(signature, 'h')) // no file descriptors
            Registered << QMetaType(id);
    }
    // The objects answer on a thread of their own, while this one waits for each answer.
    auto* objects = new QThread;
    objects->start();
    auto* item = new StatusNotifierItem(QStringLiteral("fuzz"), QStringLiteral("Fuzz"));
    auto* menu = new DBusMenuExporter;
    menu->SetEntries({ "Get time", "Setup", "", "About", "", "Exit" });
    menu->Enabled = [] { return false; };
    item->moveToThread(objects);
    menu->moveToThread(objects);
    auto* server = new QDBusServer(QStringLiteral("unix:tmpdir=/tmp"));
    static bool registered = false;
    QObject::connect(server, &QDBusServer::newConnection, [item, menu](QDBusConnection peer) {
        registered = peer.registerVirtualObject(QStringLiteral("/StatusNotifierItem"), item)
            && peer.registerVirtualObject(QStringLiteral("/MenuBar"), menu);
    });
    Caller = new QDBusConnection(QDBusConnection::connectToPeer(server->address(), QStringLiteral("caller")));
    for (int i = 0; i < 500 && !registered; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    Learn(QStringLiteral("/StatusNotifierItem"));
    Learn(QStringLiteral("/MenuBar"));
    if (Methods.size() < 20)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Choices in(data, size);
    const Method& method = Methods[in.Next(Methods.size())];
    QDBusMessage call
        = QDBusMessage::createMethodCall({}, method.path, in.Next(4) ? method.interface : QString(), method.member);
    if (in.Next(2)) {
        for (qsizetype at = 0; at < method.signature.size(); at = End(method.signature, at))
            call << Value(method.signature.mid(at, End(method.signature, at) - at), in, 2);
    } else {
        for (unsigned count = in.Next(5); count > 0; --count)
            call << Value(Type(in, 3), in, 2);
    }
    const QDBusMessage answer = Caller->call(call, QDBus::Block, 5000);
    const QString error = answer.errorName();
    if (answer.type() != QDBusMessage::ReplyMessage
        && (answer.type() != QDBusMessage::ErrorMessage || error.endsWith(QLatin1String(".NoReply"))
            || error.endsWith(QLatin1String(".Disconnected"))))
        std::abort();
    return 0;
}
