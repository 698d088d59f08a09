// The notification area's Linux binding against a real panel: xfce4-panel on a private display
// and session bus, set up by notification-area-live.sh. Where a person would click, the test
// calls the items over the bus as the panel does.
#include "platform/linux/tray/QtNotificationArea.h"
#include "platform/linux/tray/StatusNotifierTypes.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVirtualObject>
#include <QIcon>
#include <QPixmap>
#include <QProcess>
#include <QTest>

class NotificationAreaLiveTest final : public QObject
{
    Q_OBJECT

private slots:
    void iconsAreItemsOfTheirOwn();
    void hostRequestsBecomeMouseMessages_data();
    void hostRequestsBecomeMouseMessages();
    void exportedMenuRunsThroughTheOwner();
    void callsWithOtherArgumentsAreRefused();
    void removedIconLeavesAtOnce();
    void onlyRealChangesAreAnnounced();
    void refusedItemShowsInTheXTray();
};

// Counts a signal of an item, as the panel listens to it.
class SignalCounter final : public QObject
{
    Q_OBJECT

public:
    int count = 0;

public slots:
    void Count() { ++count; }
};

namespace {

// Bounds every wait on the panel; it answers in milliseconds.
constexpr int WaitMs = 5000;
const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString MenuInterface = QStringLiteral("com.canonical.dbusmenu");
const QStringList ProgramMenu { "Get time", "Setup", "", "About", "", "Exit" };

// The test's own connection, standing in for the panel.
QDBusConnection Host()
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("test-host"));
}

// Calls an item as the panel does: without blocking, so that this process can answer.
QDBusMessage Call(const QString& service, const QString& path, const QString& interface, const QString& member,
                  const QVariantList& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, member);
    call.setArguments(args);
    QDBusPendingCall pending = Host().asyncCall(call, WaitMs);
    for (int i = 0; i < WaitMs / 10 && !pending.isFinished(); ++i)
        QTest::qWait(10);
    pending.waitForFinished();
    return pending.reply();
}

QVariant Property(const QString& service, const QString& path, const QString& interface, const QString& name)
{
    const QDBusMessage reply = Call(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), { interface, name });
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
}

// The services of this process's items that the panel's watcher knows.
QStringList OurItems()
{
    const QVariant items
        = Property(QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
                   QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("RegisteredStatusNotifierItems"));
    QStringList ours;
    const QString mark = QStringLiteral("-%1-").arg(QCoreApplication::applicationPid());
    for (const QString& item : items.toStringList())
        if (item.contains(mark))
            ours << item.section(QLatin1Char('/'), 0, 0);
    return ours;
}

QVariant ItemProperty(const QString& service, const QString& name)
{
    return Property(service, QStringLiteral("/StatusNotifierItem"), ItemInterface, name);
}

// The item whose Id is `id`; empty while there is none.
QString ItemWithId(const QString& id)
{
    for (const QString& service : OurItems())
        if (ItemProperty(service, QStringLiteral("Id")).toString() == id)
            return service;
    return {};
}

QIcon Picture(QColor color)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// The first pixel of the item's first image, as the panel reads it ("#AARRGGBB").
QString FirstPixel(const QString& service)
{
    const auto pixmaps = qdbus_cast<SniPixmapList>(ItemProperty(service, QStringLiteral("IconPixmap")));
    if (pixmaps.isEmpty() || pixmaps.first().argb.size() < 4)
        return {};
    return QStringLiteral("#") + QString::fromLatin1(pixmaps.first().argb.left(4).toHex());
}

// An icon shown as a registered item, with what it hands its owner recorded.
struct ShownIcon
{
    explicit ShownIcon(QtNotificationArea& area, const QStringList& menu = {})
        : icon(area.CreateIcon())
    {
        icon->OnMouseMessage = [this, &area](int message) {
            messages << message;
            points << area.CursorPos();
        };
        icon->OnMenuOpening = [this] { ++openings; };
        icon->OnMenuChoice = [this](int index) { choices << index; };
        icon->ExportMenu(menu);
        icon->Add(Picture(Qt::red), QStringLiteral("Kronvik"));
    }

    std::unique_ptr<NotificationIcon> icon;
    QList<int> messages;
    QList<QPoint> points;
    int openings = 0;
    QList<int> choices;
};

// A watcher with a host that refuses every item, as a panel may.
class RefusingWatcher final : public QDBusVirtualObject
{
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const bool host = message.member() == QLatin1String("Get");
        refusals += !host;
        return connection.send(host ? message.createReply(QVariant::fromValue(QDBusVariant(true)))
                                    : message.createErrorReply(QDBusError::AccessDenied, QStringLiteral("Refused")));
    }
    int refusals = 0;
};

// Whether a window of this program's sits in the X tray, as xwininfo lists the windows.
bool InTheXTray()
{
    QProcess windows;
    windows.start(QStringLiteral("xwininfo"), { QStringLiteral("-root"), QStringLiteral("-tree") });
    windows.waitForFinished(WaitMs);
    return windows.readAllStandardOutput().contains('"' + QCoreApplication::applicationName().toUtf8() + "\": (");
}

} // namespace

void NotificationAreaLiveTest::iconsAreItemsOfTheirOwn()
{
    RegisterStatusNotifierTypes();
    QtNotificationArea area;
    ShownIcon program(area, ProgramMenu);
    auto mail = area.CreateIcon();
    mail->Add(Picture(Qt::blue), QStringLiteral("You have new Email! Click here to see details."));

    QTRY_COMPARE_WITH_TIMEOUT(OurItems().size(), 2, WaitMs);
    const QString name = QCoreApplication::applicationName();
    const QString first = ItemWithId(name);
    const QString second = ItemWithId(name + QStringLiteral("-2"));
    QVERIFY(!first.isEmpty());
    QVERIFY(!second.isEmpty());

    const auto tip = qdbus_cast<SniToolTip>(ItemProperty(second, QStringLiteral("ToolTip")));
    QCOMPARE(tip.title, QStringLiteral("You have new Email! Click here to see details."));
    QCOMPARE(FirstPixel(first), QStringLiteral("#ffff0000"));
    QCOMPARE(FirstPixel(second), QStringLiteral("#ff0000ff"));
    // The host is never asked for attention: it adds no blinking of its own.
    QCOMPARE(ItemProperty(second, QStringLiteral("Status")).toString(), QStringLiteral("Active"));
    // Only an icon with a menu has one for the host to draw; the other gets the right button.
    QCOMPARE(qvariant_cast<QDBusObjectPath>(ItemProperty(first, QStringLiteral("Menu"))).path(),
             QStringLiteral("/MenuBar"));
    QCOMPARE(qvariant_cast<QDBusObjectPath>(ItemProperty(second, QStringLiteral("Menu"))).path(),
             QStringLiteral("/NO_DBUSMENU"));
}

void NotificationAreaLiveTest::hostRequestsBecomeMouseMessages_data()
{
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QList<int>>("activateMessages");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<QPoint>("deliveredAt");

    using Icon = NotificationIcon;
    const QList<int> doubleClick { Icon::LeftButtonDown, Icon::LeftButtonUp, Icon::LeftButtonDoubleClick,
                                   Icon::LeftButtonUp };
    QTest::newRow("activation: a plain click unless told")
        << QStringList { "Activate" } << QList<int>() << QList<int> { Icon::LeftButtonDown, Icon::LeftButtonUp }
        << QPoint();
    QTest::newRow("activation: what the owner says it stands for")
        << QStringList { "Activate" } << doubleClick << doubleClick << QPoint();
    QTest::newRow("two activations of one double-click: one")
        << QStringList { "Activate", "Activate" } << doubleClick << doubleClick << QPoint();
    QTest::newRow("secondary activation: the middle button")
        << QStringList { "SecondaryActivate" } << QList<int>()
        << QList<int> { Icon::MiddleButtonDown, Icon::MiddleButtonUp } << QPoint();
    QTest::newRow("menu request: the right button, at the host's point")
        << QStringList { "ContextMenu" } << QList<int>() << QList<int> { Icon::RightButtonDown, Icon::RightButtonUp }
        << QPoint(300, 40);
}

void NotificationAreaLiveTest::hostRequestsBecomeMouseMessages()
{
    QFETCH(QStringList, requests);
    QFETCH(QList<int>, activateMessages);
    QFETCH(QList<int>, expected);
    QFETCH(QPoint, deliveredAt);

    QtNotificationArea area;
    ShownIcon shown(area);
    if (!activateMessages.isEmpty())
        shown.icon->ActivateMessages = activateMessages;
    QTRY_COMPARE_WITH_TIMEOUT(OurItems().size(), 1, WaitMs);
    const QString service = OurItems().first();

    for (const QString& request : requests) {
        const QVariantList at
            = deliveredAt.isNull() ? QVariantList { 0, 0 } : QVariantList { deliveredAt.x(), deliveredAt.y() };
        QCOMPARE(Call(service, QStringLiteral("/StatusNotifierItem"), ItemInterface, request, at).type(),
                 QDBusMessage::ReplyMessage);
    }
    QTRY_COMPARE_WITH_TIMEOUT(shown.messages, expected, WaitMs);
    QTest::qWait(100); // nothing more follows
    QCOMPARE(shown.messages, expected);
    if (!deliveredAt.isNull())
        QCOMPARE(shown.points.first(), deliveredAt);
}

void NotificationAreaLiveTest::exportedMenuRunsThroughTheOwner()
{
    QtNotificationArea area;
    ShownIcon shown(area, ProgramMenu);
    QTRY_COMPARE_WITH_TIMEOUT(OurItems().size(), 1, WaitMs);
    const QString service = OurItems().first();
    const QString menu = QStringLiteral("/MenuBar");

    const QDBusMessage layoutReply
        = Call(service, menu, MenuInterface, QStringLiteral("GetLayout"), { 0, -1, QStringList() });
    QCOMPARE(layoutReply.arguments().size(), 2);
    const auto layout = qdbus_cast<DBusMenuLayout>(layoutReply.arguments().at(1));
    QStringList entries;
    for (const QVariant& child : layout.children) {
        const auto item = qvariant_cast<DBusMenuLayout>(child);
        entries << (item.properties.value("type").toString() == "separator"
                        ? QString()
                        : item.properties.value("label").toString());
    }
    QCOMPARE(entries, ProgramMenu);

    // The panel announces the opening, alone or in a group, then reports the choice: "Exit",
    // then "Setup" by a group.
    Call(service, menu, MenuInterface, QStringLiteral("AboutToShow"), { 0 });
    QTRY_COMPARE_WITH_TIMEOUT(shown.openings, 1, WaitMs);
    Call(service, menu, MenuInterface, QStringLiteral("AboutToShowGroup"), { QVariant::fromValue(QList<int> { 0 }) });
    QTRY_COMPARE_WITH_TIMEOUT(shown.openings, 2, WaitMs);
    Call(service, menu, MenuInterface, QStringLiteral("Event"),
         { 6, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u });
    QTRY_COMPARE_WITH_TIMEOUT(shown.choices, QList<int> { 5 }, WaitMs);
    const DBusMenuEventList group { { 2, QStringLiteral("clicked"), QDBusVariant(0), 0u } };
    Call(service, menu, MenuInterface, QStringLiteral("EventGroup"), { QVariant::fromValue(group) });
    QTRY_COMPARE_WITH_TIMEOUT(shown.choices, (QList<int> { 5, 1 }), WaitMs);

    const QDBusMessage unknown = Call(service, menu, MenuInterface, QStringLiteral("Event"),
                                      { 7, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u });
    QCOMPARE(unknown.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(shown.choices.size(), 2);

    // While the entries cannot be chosen the host draws them disabled, told to fetch them again.
    shown.icon->MenuEnabled = [] { return false; };
    QCOMPARE(Call(service, menu, MenuInterface, QStringLiteral("AboutToShow"), { 0 }).arguments(),
             QVariantList { true });
    const QDBusMessage enabled = Call(service, menu, MenuInterface, QStringLiteral("GetProperty"), { 6, "enabled" });
    QCOMPARE(qvariant_cast<QDBusVariant>(enabled.arguments().value(0)).variant(), QVariant(false));
}

void NotificationAreaLiveTest::callsWithOtherArgumentsAreRefused()
{
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QtNotificationArea area;
    ShownIcon shown(area, ProgramMenu);
    QTRY_COMPARE_WITH_TIMEOUT(OurItems().size(), 1, WaitMs);
    const QString service = OurItems().first();

    // Every exported method, with arguments that fit it.
    const QString item = QStringLiteral("/StatusNotifierItem");
    const QString menu = QStringLiteral("/MenuBar");
    const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
    const QVariant ids = QVariant::fromValue(QList<int> { 0 });
    const QVariant event = QVariant::fromValue(QDBusVariant(0));
    const QVariant events = QVariant::fromValue(DBusMenuEventList { { 1, "clicked", QDBusVariant(0), 0u } });
    const QList<std::tuple<QString, QString, QString, QVariantList>> methods {
        { item, ItemInterface, "Activate", { 1, 2 } },
        { item, ItemInterface, "SecondaryActivate", { 1, 2 } },
        { item, ItemInterface, "ContextMenu", { 1, 2 } },
        { item, ItemInterface, "Scroll", { 1, "vertical" } },
        { item, ItemInterface, "ProvideXdgActivationToken", { "token" } },
        { item, properties, "Get", { ItemInterface, "Id" } },
        { item, properties, "GetAll", { ItemInterface } },
        { menu, MenuInterface, "GetLayout", { 0, -1, QStringList() } },
        { menu, MenuInterface, "GetGroupProperties", { ids, QStringList() } },
        { menu, MenuInterface, "GetProperty", { 1, "label" } },
        { menu, MenuInterface, "Event", { 1, "clicked", event, 0u } },
        { menu, MenuInterface, "EventGroup", { events } },
        { menu, MenuInterface, "AboutToShow", { 0 } },
        { menu, MenuInterface, "AboutToShowGroup", { ids } },
        { menu, properties, "Get", { MenuInterface, "Version" } },
        { menu, properties, "GetAll", { MenuInterface } },
    };
    // Each is called with one argument missing, one too many, and each argument in turn of
    // another type: a list of numbers, or a map of texts where a list of numbers fits.
    const QVariant numbers = QVariant::fromValue(QList<int> { 1 });
    for (const auto& [path, interface, member, fitting] : methods) {
        QList<QVariantList> calls { fitting.mid(0, fitting.size() - 1), fitting + QVariantList { 0 } };
        for (qsizetype i = 0; i < fitting.size(); ++i) {
            calls << fitting;
            calls.last()[i] = fitting[i].metaType() != numbers.metaType()
                ? numbers
                : QVariant::fromValue(QMap<QString, QString> { { "a", "b" } });
        }
        for (const QVariantList& args : calls)
            QVERIFY2(Call(service, path, interface, member, args).errorName()
                         == "org.freedesktop.DBus.Error.InvalidArgs",
                     qPrintable(path + ' ' + member));
    }
    QCOMPARE(ItemProperty(service, QStringLiteral("Id")).toString(), QCoreApplication::applicationName());
    QTest::qWait(100);
    QVERIFY(shown.messages.isEmpty() && shown.openings == 0 && shown.choices.isEmpty());
}

void NotificationAreaLiveTest::removedIconLeavesAtOnce()
{
    QtNotificationArea area;
    ShownIcon shown(area);
    QTRY_COMPARE_WITH_TIMEOUT(OurItems().size(), 1, WaitMs);

    // The name is released before Remove returns; the panel drops the item when it hears.
    shown.icon->Remove();
    QTRY_COMPARE_WITH_TIMEOUT(OurItems().size(), 0, 1000);
    shown.icon->Add(Picture(Qt::green), QStringLiteral("Kronvik"));
    QTRY_COMPARE_WITH_TIMEOUT(OurItems().size(), 1, WaitMs);
    QCOMPARE(FirstPixel(OurItems().first()), QStringLiteral("#ff00ff00"));
    shown.icon.reset();
    QTRY_COMPARE_WITH_TIMEOUT(OurItems().size(), 0, 1000);
}

void NotificationAreaLiveTest::onlyRealChangesAreAnnounced()
{
    QtNotificationArea area;
    ShownIcon shown(area);
    QTRY_COMPARE_WITH_TIMEOUT(OurItems().size(), 1, WaitMs);
    const QString service = OurItems().first();
    SignalCounter icons;
    SignalCounter tips;
    QVERIFY(Host().connect(service, "/StatusNotifierItem", ItemInterface, "NewIcon", &icons, SLOT(Count())));
    QVERIFY(Host().connect(service, "/StatusNotifierItem", ItemInterface, "NewToolTip", &tips, SLOT(Count())));

    // Three frames of an animation, each an icon update; a hint set again changes nothing.
    const QIcon frames[] = { Picture(Qt::yellow), Picture(Qt::cyan), Picture(Qt::magenta) };
    for (const QIcon& frame : frames) {
        shown.icon->Modify(frame, QStringLiteral("Kronvik"));
        shown.icon->Modify(frame, QStringLiteral("Kronvik"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(icons.count, 3, WaitMs);
    QCOMPARE(FirstPixel(service), QStringLiteral("#ffff00ff"));
    shown.icon->Modify(frames[2], QStringLiteral("Double-click to get time (Right-click to show options menu)"));
    QTRY_COMPARE_WITH_TIMEOUT(tips.count, 1, WaitMs);
    QTest::qWait(100);
    QCOMPARE(icons.count, 3);
    QCOMPARE(qdbus_cast<SniToolTip>(ItemProperty(service, QStringLiteral("ToolTip"))).title,
             QStringLiteral("Double-click to get time (Right-click to show options menu)"));
}

void NotificationAreaLiveTest::refusedItemShowsInTheXTray()
{
    // The script runs this once more without the panel, beside an X tray.
    const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (Host().interface()->isServiceRegistered(watcherName))
        QSKIP("the panel's watcher runs");
    QtNotificationArea area;
    ShownIcon shown(area);
    QTRY_VERIFY_WITH_TIMEOUT(InTheXTray(), WaitMs);
    RefusingWatcher watcher;
    QVERIFY(Host().registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &watcher));
    QVERIFY(Host().registerService(watcherName));
    QTRY_VERIFY_WITH_TIMEOUT(watcher.refusals > 0, WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(InTheXTray(), WaitMs);
}

QTEST_MAIN(NotificationAreaLiveTest)
#include "NotificationAreaLiveTest.moc"
