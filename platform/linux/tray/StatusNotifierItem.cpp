#include "platform/linux/tray/StatusNotifierItem.h"

#include "platform/linux/tray/StatusNotifierTypes.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QImage>
#include <QMetaObject>
#include <QtEndian>

namespace {

const QString ItemPath = QStringLiteral("/StatusNotifierItem");
const QString MenuPath = QLatin1String(DBusMenuExporter::Path);
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// Some hosts ask under the name the protocol was later proposed with.
const QString FreedesktopInterface = QStringLiteral("org.freedesktop.StatusNotifierItem");
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

SniPixmapList Pixmaps(const QIcon& icon)
{
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty() && !icon.isNull())
        sizes = { QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48) };
    SniPixmapList pixmaps;
    for (const QSize& size : sizes) {
        const QImage image = icon.pixmap(size, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            continue;
        SniPixmap pixmap { image.width(), image.height(),
                           QByteArray(qsizetype { image.width() } * image.height() * 4, '\0') };
        char* out = pixmap.argb.data();
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, out += 4)
                qToBigEndian<quint32>(line[x], out);
        }
        pixmaps << pixmap;
    }
    return pixmaps;
}

} // namespace

StatusNotifierItem::StatusNotifierItem(QString id, QString title)
    : m_id(std::move(id))
    , m_title(std::move(title))
    , m_pixmaps(QVariant::fromValue(SniPixmapList()))
{
    RegisterStatusNotifierTypes();
    m_menu.Enabled = [this] { return !MenuEnabled || MenuEnabled(); };
    m_menu.OnOpening = [this] {
        if (OnMenuOpening)
            OnMenuOpening();
    };
    m_menu.OnChoice = [this](int index) {
        if (OnMenuChoice)
            OnMenuChoice(index);
    };
}

StatusNotifierItem::~StatusNotifierItem()
{
    Unregister();
}

bool StatusNotifierItem::Register()
{
    if (!Registered()) {
        // Names are never reused: the bus may not yet have let go of the previous connection's.
        static int registrations = 0;
        ++registrations;
        const QString connectionName = QStringLiteral("kronvik-sni-%1").arg(registrations);
        const QString serviceName = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                                        .arg(QCoreApplication::applicationPid())
                                        .arg(registrations);
        QDBusConnection connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
        if (!connection.isConnected() || !connection.registerVirtualObject(ItemPath, this)
            || !connection.registerVirtualObject(MenuPath, &m_menu) || !connection.registerService(serviceName)) {
            QDBusConnection::disconnectFromBus(connectionName);
            return false;
        }
        m_connectionName = connectionName;
        m_serviceName = serviceName;
        m_menu.SetConnectionName(connectionName);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(WatcherService, QStringLiteral("/StatusNotifierWatcher"),
                                                       WatcherService, QStringLiteral("RegisterStatusNotifierItem"));
    call << m_serviceName;
    auto* pending = new QDBusPendingCallWatcher(QDBusConnection(m_connectionName).asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, connectionName = m_connectionName](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (finished->isError() && connectionName == m_connectionName && OnRefused)
                    OnRefused();
            });
    return true;
}

void StatusNotifierItem::Unregister()
{
    if (!Registered())
        return;
    // Releasing the name is a round trip to the bus: when it returns, the watcher has been told.
    QDBusConnection(m_connectionName).interface()->unregisterService(m_serviceName);
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_connectionName.clear();
    m_serviceName.clear();
    m_menu.SetConnectionName(QString());
}

void StatusNotifierItem::SetImage(const QIcon& icon)
{
    if (icon.cacheKey() == m_image.cacheKey())
        return;
    m_image = icon;
    m_pixmaps = QVariant::fromValue(Pixmaps(icon));
    Emit("NewIcon");
}

void StatusNotifierItem::SetToolTip(const QString& tip)
{
    if (tip == m_tip)
        return;
    m_tip = tip;
    Emit("NewToolTip");
}

void StatusNotifierItem::SetMenu(const QStringList& entries)
{
    m_menu.SetEntries(entries);
}

void StatusNotifierItem::Emit(const char* signal)
{
    if (Registered())
        QDBusConnection(m_connectionName)
            .send(QDBusMessage::createSignal(ItemPath, QLatin1String(Interface), QLatin1String(signal)));
}

QVariantMap StatusNotifierItem::Properties() const
{
    const QVariant noPixmaps = QVariant::fromValue(SniPixmapList());
    // Always "Active": the host is never asked for attention, so it adds no blinking of its own.
    return {
        { QStringLiteral("Category"), QStringLiteral("ApplicationStatus") },
        { QStringLiteral("Id"), m_id },
        { QStringLiteral("Title"), m_title },
        { QStringLiteral("Status"), QStringLiteral("Active") },
        { QStringLiteral("WindowId"), 0 },
        { QStringLiteral("IconThemePath"), QString() },
        { QStringLiteral("IconName"), QString() },
        { QStringLiteral("IconPixmap"), m_pixmaps },
        { QStringLiteral("OverlayIconName"), QString() },
        { QStringLiteral("OverlayIconPixmap"), noPixmaps },
        { QStringLiteral("AttentionIconName"), QString() },
        { QStringLiteral("AttentionIconPixmap"), noPixmaps },
        { QStringLiteral("AttentionMovieName"), QString() },
        { QStringLiteral("ToolTip"), QVariant::fromValue(SniToolTip { QString(), {}, m_tip, QString() }) },
        { QStringLiteral("ItemIsMenu"), false },
        { QStringLiteral("Menu"),
          QVariant::fromValue(QDBusObjectPath(m_menu.IsEmpty() ? QStringLiteral("/NO_DBUSMENU") : MenuPath)) },
    };
}

void StatusNotifierItem::Queue(std::function<void(QPoint)> StatusNotifierItem::*request, QPoint at)
{
    QMetaObject::invokeMethod(
        this,
        [this, request, at] {
            if (this->*request)
                (this->*request)(at);
        },
        Qt::QueuedConnection);
}

QDBusMessage StatusNotifierItem::Answer(const QDBusMessage& call)
{
    const QString interface = call.interface();
    if (interface == PropertiesInterface)
        return AnswerProperties(call, Properties());
    if (!interface.isEmpty() && interface != QLatin1String(Interface) && interface != FreedesktopInterface)
        return {};
    static const Methods methods {
        { QStringLiteral("Activate"), QStringLiteral("ii") },
        { QStringLiteral("SecondaryActivate"), QStringLiteral("ii") },
        { QStringLiteral("ContextMenu"), QStringLiteral("ii") },
        { QStringLiteral("Scroll"), QStringLiteral("is") },
        { QStringLiteral("ProvideXdgActivationToken"), QStringLiteral("s") },
    };
    if (const std::optional<QDBusMessage> refusal = Refusal(call, methods))
        return *refusal;

    // Scrolls and activation tokens are answered and ignored.
    static const QHash<QString, std::function<void(QPoint)> StatusNotifierItem::*> requests {
        { QStringLiteral("Activate"), &StatusNotifierItem::OnActivate },
        { QStringLiteral("SecondaryActivate"), &StatusNotifierItem::OnSecondaryActivate },
        { QStringLiteral("ContextMenu"), &StatusNotifierItem::OnContextMenu },
    };
    if (const auto request = requests.value(call.member())) {
        const QVariantList args = call.arguments();
        Queue(request, QPoint(args[0].toInt(), args[1].toInt()));
    }
    return call.createReply();
}

QString StatusNotifierItem::introspect(const QString&) const
{
    return QStringLiteral(R"xml(<interface name="org.kde.StatusNotifierItem">
  <property name="Category" type="s" access="read"/>
  <property name="Id" type="s" access="read"/>
  <property name="Title" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="WindowId" type="i" access="read"/>
  <property name="IconThemePath" type="s" access="read"/>
  <property name="IconName" type="s" access="read"/>
  <property name="IconPixmap" type="a(iiay)" access="read"/>
  <property name="OverlayIconName" type="s" access="read"/>
  <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionIconName" type="s" access="read"/>
  <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionMovieName" type="s" access="read"/>
  <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
  <property name="ItemIsMenu" type="b" access="read"/>
  <property name="Menu" type="o" access="read"/>
  <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
  <method name="ProvideXdgActivationToken"><arg name="token" type="s" direction="in"/></method>
  <signal name="NewTitle"/>
  <signal name="NewIcon"/>
  <signal name="NewAttentionIcon"/>
  <signal name="NewOverlayIcon"/>
  <signal name="NewToolTip"/>
  <signal name="NewStatus"><arg name="status" type="s"/></signal>
</interface>
)xml");
}
