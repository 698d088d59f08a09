#include "platform/linux/tray/XEmbedTrayIcon.h"

#include "platform/NotificationArea.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QSocketNotifier>
#include <QStyle>
#include <QToolTip>
#include <QtEndian>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr std::uint32_t SystemTrayRequestDock = 0;
// WM_NORMAL_HINTS flags (ICCCM): a minimum size and a base size are given.
constexpr std::uint32_t MinSizeHint = 1 << 4;
constexpr std::uint32_t BaseSizeHint = 1 << 8;
// Trays size their icons themselves; this is only the size before they do.
constexpr int InitialSize = 22;

template<typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template<typename T> XcbReply<T> Owned(T* reply)
{
    return XcbReply<T>(reply, &std::free);
}

xcb_screen_t* Screen(xcb_connection_t* connection, int number)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (; it.rem; --number, xcb_screen_next(&it))
        if (number == 0)
            return it.data;
    return nullptr;
}

// The depth of a visual of the screen; 0 when the screen has no such visual.
std::uint8_t DepthOf(xcb_screen_t* screen, xcb_visualid_t visual)
{
    for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == visual)
                return d.data->depth;
    return 0;
}

bool ThirtyTwoBitPixels(xcb_connection_t* connection, std::uint8_t depth)
{
    const xcb_setup_t* setup = xcb_get_setup(connection);
    for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth)
            return f.data->bits_per_pixel == 32;
    return false;
}

} // namespace

XEmbedTrayIcon::XEmbedTrayIcon(const QString& name)
    : m_name(name)
{
    m_tipDelay.setSingleShot(true);
    m_tipDelay.setInterval(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay));
    connect(&m_tipDelay, &QTimer::timeout, this, [this] {
        if (!m_tip.isEmpty())
            QToolTip::showText(QCursor::pos(), m_tip);
    });

    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_screen = Screen(connection, screenNumber);
    if (!m_screen) {
        xcb_disconnect(connection);
        m_connection = nullptr;
        return;
    }
    m_root = m_screen->root;

    const QByteArray names[] = { QByteArray("_NET_SYSTEM_TRAY_S") + QByteArray::number(screenNumber),
                                 "_NET_SYSTEM_TRAY_OPCODE",
                                 "MANAGER",
                                 "_XEMBED_INFO",
                                 "_NET_SYSTEM_TRAY_VISUAL",
                                 "_NET_WM_NAME",
                                 "UTF8_STRING" };
    xcb_atom_t* atoms[]
        = { &m_selection, &m_opcode, &m_managerAtom, &m_xembedInfo, &m_trayVisual, &m_netWmName, &m_utf8 };
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, names[i].size(), names[i].constData());
    for (std::size_t i = 0; i < std::size(names); ++i)
        if (auto reply = Owned(xcb_intern_atom_reply(connection, cookies[i], nullptr)))
            *atoms[i] = reply->atom;

    // A tray that starts announces itself to the root window's structure listeners.
    const std::uint32_t rootEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, m_root, XCB_CW_EVENT_MASK, &rootEvents);
    xcb_flush(connection);
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &XEmbedTrayIcon::ReadEvents);
}

XEmbedTrayIcon::~XEmbedTrayIcon()
{
    if (!m_connection)
        return;
    Undock();
    delete m_notifier;
    xcb_disconnect(m_connection);
}

void XEmbedTrayIcon::Show()
{
    m_wanted = true;
    Dock();
}

void XEmbedTrayIcon::Hide()
{
    m_wanted = false;
    Undock();
}

void XEmbedTrayIcon::SetImage(const QIcon& icon)
{
    if (icon.cacheKey() == m_image.cacheKey())
        return;
    m_image = icon;
    Paint();
}

void XEmbedTrayIcon::SetToolTip(const QString& tip)
{
    m_tip = tip;
}

void XEmbedTrayIcon::ScheduleRead()
{
    QMetaObject::invokeMethod(this, &XEmbedTrayIcon::ReadEvents, Qt::QueuedConnection);
}

void XEmbedTrayIcon::ReadEvents()
{
    if (!m_connection)
        return;
    // A click may run a modal loop, and whatever it does may end this icon.
    const QPointer<XEmbedTrayIcon> alive(this);
    while (auto event = Owned(xcb_poll_for_event(m_connection))) {
        Handle(event.get());
        if (!alive)
            return;
    }
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false);
}

void XEmbedTrayIcon::Handle(const xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
        const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (message->window == m_root && message->type == m_managerAtom && message->format == 32
            && message->data.data32[1] == m_selection) {
            Undock();
            Dock();
        }
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        if (destroyed->window == m_tray) {
            m_tray = 0;
            Undock();
            Dock();
        }
        break;
    }
    case XCB_REPARENT_NOTIFY: {
        // A tray that goes away hands its icons back to the root window, where they would show
        // as stray squares until the next tray takes them.
        const auto* reparented = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
        if (reparented->window == m_window && m_window && reparented->parent == m_root)
            Undock();
        break;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto* configured = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (configured->window == m_window && m_window) {
            const QSize size(configured->width, configured->height);
            if (size != m_size) {
                m_size = size;
                Paint();
            }
        }
        break;
    }
    case XCB_EXPOSE: {
        const auto* exposed = reinterpret_cast<const xcb_expose_event_t*>(event);
        if (exposed->window == m_window && m_window && exposed->count == 0)
            Paint();
        break;
    }
    case XCB_BUTTON_PRESS:
        Press(reinterpret_cast<const xcb_button_press_event_t*>(event));
        break;
    case XCB_BUTTON_RELEASE:
        Release(reinterpret_cast<const xcb_button_release_event_t*>(event));
        break;
    case XCB_ENTER_NOTIFY:
        m_tipDelay.start();
        break;
    case XCB_LEAVE_NOTIFY:
        m_tipDelay.stop();
        QToolTip::hideText();
        break;
    case XCB_MOTION_NOTIFY:
        Send(NotificationIcon::MouseMove);
        break;
    default:
        break;
    }
}

void XEmbedTrayIcon::Dock()
{
    if (!m_connection || !m_wanted || m_window)
        return;
    auto owner = Owned(
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr));
    ScheduleRead();
    if (!owner || owner->owner == 0)
        return; // no tray yet: the next one announces itself
    const xcb_window_t tray = owner->owner;
    // Watched for its end; a tray already gone is followed by its successor's announcement.
    const std::uint32_t trayEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (auto* error = xcb_request_check(
            m_connection, xcb_change_window_attributes_checked(m_connection, tray, XCB_CW_EVENT_MASK, &trayEvents))) {
        std::free(error);
        return;
    }
    m_tray = tray;

    // The tray names the visual it wants its icons in, an ARGB one when it can blend them;
    // otherwise the icon takes the tray's own background and paints over it.
    xcb_visualid_t visual = m_screen->root_visual;
    std::uint8_t depth = m_screen->root_depth;
    auto wish = Owned(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, tray, m_trayVisual, XCB_ATOM_VISUALID, 0, 1), nullptr));
    if (wish && wish->format == 32 && xcb_get_property_value_length(wish.get()) == 4) {
        const xcb_visualid_t wished = *static_cast<const xcb_visualid_t*>(xcb_get_property_value(wish.get()));
        if (const std::uint8_t wishedDepth = DepthOf(m_screen, wished)) {
            visual = wished;
            depth = wishedDepth;
        }
    }

    m_window = xcb_generate_id(m_connection);
    m_colormap = 0;
    if (visual != m_screen->root_visual) {
        m_colormap = xcb_generate_id(m_connection);
        xcb_create_colormap(m_connection, XCB_COLORMAP_ALLOC_NONE, m_colormap, m_root, visual);
    }
    const std::uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE
        | XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_POINTER_MOTION
        | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    m_size = QSize(InitialSize, InitialSize);
    if (depth == 32) {
        const std::uint32_t values[] = { 0, 0, events, m_colormap };
        xcb_create_window(m_connection, depth, m_window, m_root, 0, 0, InitialSize, InitialSize, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values);
    } else {
        const std::uint32_t values[]
            = { XCB_BACK_PIXMAP_PARENT_RELATIVE, 0, events, m_colormap ? m_colormap : m_screen->default_colormap };
        xcb_create_window(m_connection, depth, m_window, m_root, 0, 0, InitialSize, InitialSize, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                          XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values);
    }
    m_depth = depth;

    const QByteArray name = m_name.toUtf8();
    const QByteArray windowClass = name + '\0' + name + '\0';
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        name.size(), name.constData());
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, m_netWmName, m_utf8, 8, name.size(),
                        name.constData());
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        windowClass.size(), windowClass.constData());
    // Trays that size their places by what the icon asks for read its size hints.
    std::uint32_t sizeHints[18] = {};
    sizeHints[0] = MinSizeHint | BaseSizeHint;
    sizeHints[5] = sizeHints[6] = sizeHints[15] = sizeHints[16] = InitialSize;
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS,
                        32, 18, sizeHints);
    // XEmbed version 0, and the tray is to map the window.
    const std::uint32_t xembedInfo[] = { 0, 1 };
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_window, m_xembedInfo, m_xembedInfo, 32, 2, xembedInfo);
    m_gc = xcb_generate_id(m_connection);
    xcb_create_gc(m_connection, m_gc, m_window, 0, nullptr);

    xcb_client_message_event_t request {};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = tray;
    request.type = m_opcode;
    request.data.data32[0] = XCB_CURRENT_TIME;
    request.data.data32[1] = SystemTrayRequestDock;
    request.data.data32[2] = m_window;
    xcb_send_event(m_connection, 0, tray, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&request));
    xcb_flush(m_connection);
}

void XEmbedTrayIcon::Undock()
{
    m_tipDelay.stop();
    m_presses = {};
    if (!m_window)
        return;
    QToolTip::hideText();
    // The tray notices the window's end and drops its place at once.
    xcb_destroy_window(m_connection, m_window);
    xcb_free_gc(m_connection, m_gc);
    if (m_colormap)
        xcb_free_colormap(m_connection, m_colormap);
    m_window = 0;
    m_gc = 0;
    m_colormap = 0;
    xcb_flush(m_connection);
}

QImage XEmbedTrayIcon::Background()
{
    // The window shows the tray's background where nothing is drawn: fetched after clearing.
    xcb_clear_area(m_connection, 0, m_window, 0, 0, 0, 0);
    auto shown = Owned(xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, 0, 0, m_size.width(), m_size.height(), ~0u),
        nullptr));
    ScheduleRead();
    QImage background(m_size, QImage::Format_RGB32);
    if (shown && xcb_get_image_data_length(shown.get()) == background.sizeInBytes()) {
        std::memcpy(background.bits(), xcb_get_image_data(shown.get()), background.sizeInBytes());
        ToServerOrder(background);
    } else {
        // Not on screen yet: the desktop's window colour comes closest to a panel's.
        background.fill(QGuiApplication::palette().color(QPalette::Window));
    }
    return background;
}

void XEmbedTrayIcon::ToServerOrder(QImage& image) const
{
    if (xcb_get_setup(m_connection)->image_byte_order != XCB_IMAGE_ORDER_MSB_FIRST)
        return;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qbswap(line[x]);
    }
}

void XEmbedTrayIcon::Paint()
{
    if (!m_window || m_size.isEmpty() || !ThirtyTwoBitPixels(m_connection, m_depth))
        return;
    QImage image;
    if (m_depth == 32) {
        image = QImage(m_size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    } else {
        image = Background();
    }
    {
        QPainter painter(&image);
        m_image.paint(&painter, image.rect());
    }
    ToServerOrder(image);
    const int stride = int(image.bytesPerLine());
    const int maxBytes = int(xcb_get_maximum_request_length(m_connection) * 4) - 64;
    const int rows = std::max(1, maxBytes / stride);
    for (int y = 0; y < image.height(); y += rows) {
        const int count = std::min(rows, image.height() - y);
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, m_gc, image.width(), count, 0, y, 0, m_depth,
                      count * stride, image.constScanLine(y));
    }
    xcb_flush(m_connection);
}

void XEmbedTrayIcon::Press(const xcb_button_press_event_t* press)
{
    static constexpr int Down[] = { 0, NotificationIcon::LeftButtonDown, NotificationIcon::MiddleButtonDown,
                                    NotificationIcon::RightButtonDown };
    static constexpr int Double[]
        = { 0, NotificationIcon::LeftButtonDoubleClick, NotificationIcon::MiddleButtonDoubleClick,
            NotificationIcon::RightButtonDoubleClick };
    if (press->event != m_window || press->detail < 1 || press->detail > 3)
        return;
    // The press grabbed the pointer for this connection; the desktop gets it back, so that a
    // menu opened on this press can take it.
    xcb_ungrab_pointer(m_connection, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    m_tipDelay.stop();
    QToolTip::hideText();

    const QPoint at(press->root_x, press->root_y);
    if (m_presses.CompletesDoubleClick(press->detail, press->time, at))
        Send(Double[press->detail]);
    else
        Send(Down[press->detail]);
}

void XEmbedTrayIcon::Release(const xcb_button_release_event_t* release)
{
    static constexpr int Up[]
        = { 0, NotificationIcon::LeftButtonUp, NotificationIcon::MiddleButtonUp, NotificationIcon::RightButtonUp };
    if (release->event == m_window && release->detail >= 1 && release->detail <= 3)
        Send(Up[release->detail]);
}

void XEmbedTrayIcon::Send(int mouseMessage)
{
    if (OnMouseMessage)
        OnMouseMessage(mouseMessage);
}
