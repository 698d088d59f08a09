#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QList>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// The structures StatusNotifierItem and dbusmenu exchange over D-Bus, with their marshalling.
// RegisterStatusNotifierTypes() makes them known to QtDBus; call it before the first use.

// An image: width, height and the pixels as ARGB32 in network byte order, "(iiay)".
struct SniPixmap
{
    int width = 0;
    int height = 0;
    QByteArray argb;
};
using SniPixmapList = QList<SniPixmap>;

// A tool tip: icon name, icon images, title and description, "(sa(iiay)ss)".
struct SniToolTip
{
    QString iconName;
    SniPixmapList images;
    QString title;
    QString description;
};

// A menu item with its properties and, recursively, its children, "(ia{sv}av)"; each child is a
// variant holding another DBusMenuLayout.
struct DBusMenuLayout
{
    int id = 0;
    QVariantMap properties;
    QVariantList children;
};

// The properties of one menu item, "(ia{sv})".
struct DBusMenuItem
{
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemList = QList<DBusMenuItem>;

// One event of a group: item, event name, data and time stamp, "(isvu)".
struct DBusMenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayout& layout);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

Q_DECLARE_METATYPE(SniPixmap)
Q_DECLARE_METATYPE(SniToolTip)
Q_DECLARE_METATYPE(DBusMenuLayout)
Q_DECLARE_METATYPE(DBusMenuItem)
Q_DECLARE_METATYPE(DBusMenuEvent)

void RegisterStatusNotifierTypes();
