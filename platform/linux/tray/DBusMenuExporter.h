#pragma once

#include "platform/linux/tray/ExportedDBusObject.h"

#include <QStringList>

#include <functional>

class QDBusMessage;
struct DBusMenuLayout;

// A flat menu published over D-Bus (com.canonical.dbusmenu) for a tray host to draw: item 0 is
// the root, entry i of the list is item i + 1. What the host asks is answered at once; what the
// user does reaches the callbacks afterwards from the event loop, never inside the bus's
// dispatch, so that they may run modal loops or change the bus objects.
class DBusMenuExporter final : public ExportedDBusObject
{
public:
    static constexpr const char* Interface = "com.canonical.dbusmenu";
    static constexpr const char* Path = "/MenuBar";

    // Each entry a caption (an "&" marks the mnemonic) or an empty text for a separator.
    void SetEntries(const QStringList& entries);
    bool IsEmpty() const { return m_entries.isEmpty(); }

    // The connection the menu is exported on, for its signals; empty while it is not exported.
    void SetConnectionName(const QString& name) { m_connectionName = name; }

    // Whether the user can choose the entries now; asked while the host is answered, so it must
    // only look. Without it they always can.
    std::function<bool()> Enabled;
    // The host is about to show the menu.
    std::function<void()> OnOpening;
    // The user chose entry `index`.
    std::function<void(int index)> OnChoice;

    QString introspect(const QString& path) const override;
    QDBusMessage Answer(const QDBusMessage& call) override;

private:
    QVariantMap Properties(int id, const QStringList& names) const;
    DBusMenuLayout Layout(int id, int depth, const QStringList& names) const;
    bool Exists(int id) const { return id >= 0 && id <= m_entries.size(); }
    // An event of the host; false when the item does not exist.
    bool Event(int id, const QString& eventId);
    void QueueOpening();
    // Whether the entries' state changed since the host was last told; the host then fetches
    // them again before it shows the menu.
    bool EnabledChanged();

    QStringList m_entries;
    uint m_revision = 1;
    bool m_enabledSent = true;
    QString m_connectionName;
};
