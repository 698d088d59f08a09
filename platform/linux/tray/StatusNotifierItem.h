#pragma once

#include "platform/linux/tray/DBusMenuExporter.h"
#include "platform/linux/tray/ExportedDBusObject.h"

#include <QIcon>
#include <QPoint>
#include <QString>

#include <functional>

class QDBusMessage;

// One icon as a StatusNotifierItem (org.kde.StatusNotifierItem) on the session bus, with its
// menu, if one is set, exported beside it. Each registration has a bus connection and a name of
// its own, so that leaving the host is closing that connection: the watcher sees the name go at
// once. What the host asks is answered at once; its requests reach the callbacks afterwards from
// the event loop, never inside the bus's dispatch, so that they may run modal loops or register
// and unregister items.
class StatusNotifierItem final : public ExportedDBusObject
{
public:
    static constexpr const char* Interface = "org.kde.StatusNotifierItem";

    // `id` tells this program's items apart for the host; `title` names the program.
    StatusNotifierItem(QString id, QString title);
    ~StatusNotifierItem() override;

    // Exports the item on a connection of its own and asks the watcher to show it; once
    // registered, asks the watcher again (a restarted watcher does not know it). False when the
    // session bus cannot be reached or refuses the name.
    bool Register();
    // Leaves the host at once; harmless when not registered.
    void Unregister();
    bool Registered() const { return !m_connectionName.isEmpty(); }

    void SetImage(const QIcon& icon);
    void SetToolTip(const QString& tip);
    void SetMenu(const QStringList& entries);

    // The host's requests with the point they came with (screen coordinates; hosts that do not
    // know it send 0, 0).
    std::function<void(QPoint)> OnActivate;
    std::function<void(QPoint)> OnSecondaryActivate;
    std::function<void(QPoint)> OnContextMenu;
    // Whether the user can choose the exported menu's entries now (see DBusMenuExporter::Enabled).
    std::function<bool()> MenuEnabled;
    // The host is about to show the exported menu; the user chose entry `index` of it.
    std::function<void()> OnMenuOpening;
    std::function<void(int index)> OnMenuChoice;
    // The watcher answered the registration with an error: the item is not shown.
    std::function<void()> OnRefused;

    QString introspect(const QString& path) const override;
    QDBusMessage Answer(const QDBusMessage& call) override;

private:
    QVariantMap Properties() const;
    void Emit(const char* signal);
    // Answers first; the request runs afterwards from the event loop.
    void Queue(std::function<void(QPoint)> StatusNotifierItem::*request, QPoint at);

    QString m_id;
    QString m_title;
    QIcon m_image;
    QString m_tip;
    QVariant m_pixmaps;
    DBusMenuExporter m_menu;
    QString m_connectionName;
    QString m_serviceName;
};
