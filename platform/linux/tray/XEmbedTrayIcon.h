#pragma once

#include "platform/linux/tray/PressSeries.h"

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <xcb/xcb.h>

class QSocketNotifier;

// One icon in the X system tray (the freedesktop system tray protocol with XEmbed): a small
// window of its own, docked into whichever tray owns the screen's tray selection, again into
// each tray that starts later, and drawn and clicked without the toolkit. It keeps a connection
// to the display of its own; without a display it never shows.
class XEmbedTrayIcon final : public QObject
{
public:
    // `name` names the window, as its program's other windows are named.
    explicit XEmbedTrayIcon(const QString& name);
    ~XEmbedTrayIcon() override;
    XEmbedTrayIcon(const XEmbedTrayIcon&) = delete;
    XEmbedTrayIcon& operator=(const XEmbedTrayIcon&) = delete;

    // Docks into the tray now if one runs, else as soon as one starts.
    void Show();
    // Leaves the tray at once and stays out of later ones.
    void Hide();

    void SetImage(const QIcon& icon);
    void SetToolTip(const QString& tip);

    // The buttons on the icon as mouse messages, a second press within the double-click time
    // as a double-click.
    std::function<void(int mouseMessage)> OnMouseMessage;

private:
    void ReadEvents();
    void Handle(const xcb_generic_event_t* event);
    void Dock();
    void Undock();
    void Paint();
    QImage Background();
    // X images come in the server's byte order; QImage's is this machine's.
    void ToServerOrder(QImage& image) const;
    void Press(const xcb_button_press_event_t* press);
    void Release(const xcb_button_release_event_t* release);
    void Send(int mouseMessage);
    // Events that arrived while a reply was awaited wait in the library, not on the socket.
    void ScheduleRead();

    xcb_connection_t* m_connection = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    QString m_name;
    xcb_screen_t* m_screen = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_selection = 0;
    xcb_atom_t m_opcode = 0;
    xcb_atom_t m_managerAtom = 0;
    xcb_atom_t m_xembedInfo = 0;
    xcb_atom_t m_trayVisual = 0;
    xcb_atom_t m_netWmName = 0;
    xcb_atom_t m_utf8 = 0;
    bool m_wanted = false;
    xcb_window_t m_tray = 0;
    xcb_window_t m_window = 0;
    xcb_gcontext_t m_gc = 0;
    xcb_colormap_t m_colormap = 0;
    std::uint8_t m_depth = 0;
    QSize m_size;
    QIcon m_image;
    QString m_tip;
    QTimer m_tipDelay;
    PressSeries m_presses;
};
