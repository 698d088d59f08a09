#include "platform/linux/desktop/X11DesktopWindows.h"

#include "platform/linux/FdGuard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <algorithm>
#include <array>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

enum AtomIndex : std::size_t
{
    NetSupportingWmCheck,
    NetClientList,
    NetClientListStacking,
    NetWmPid,
    NetWmAllowedActions,
    NetWmActionMinimize,
    NetWmWindowType,
    NetWmWindowTypeNormal,
    NetWmWindowTypeDialog,
    NetWmWindowTypeUtility,
    NetWmWindowTypeSplash,
    NetWmWindowTypeToolbar,
    NetWmWindowTypeMenu,
    NetWmWindowTypeDock,
    NetWmWindowTypeDesktop,
    MotifWmHints,
    WmProtocols,
    WmDeleteWindow,
    WmState,
    AtomCount
};

constexpr const char* AtomNames[] = {
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_CLIENT_LIST",
    "_NET_CLIENT_LIST_STACKING",
    "_NET_WM_PID",
    "_NET_WM_ALLOWED_ACTIONS",
    "_NET_WM_ACTION_MINIMIZE",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_WINDOW_TYPE_DIALOG",
    "_NET_WM_WINDOW_TYPE_UTILITY",
    "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_MOTIF_WM_HINTS",
    "WM_PROTOCOLS",
    "WM_DELETE_WINDOW",
    "WM_STATE",
};
static_assert(std::size(AtomNames) == AtomCount, "one name per atom");

// The Motif hints' fields and bits that decide over a minimise button.
constexpr unsigned long MwmHintsFunctions = 1;
constexpr unsigned long MwmHintsDecorations = 2;
constexpr unsigned long MwmFuncAll = 1;
constexpr unsigned long MwmFuncMinimize = 8;
constexpr unsigned long MwmDecorAll = 1;
constexpr unsigned long MwmDecorMinimize = 0x20;

// Far more than any property read here holds, in 32-bit units.
constexpr long MaxPropertyItems = 1 << 20;

// Xlib reports failed requests to one process-wide handler, whose default ends the program. While
// a trap is set they are counted instead; the handler before it (the toolkit's) comes back after.
int g_trappedErrors = 0;

int CountError(Display*, XErrorEvent*)
{
    ++g_trappedErrors;
    return 0;
}

class ErrorTrap final
{
public:
    explicit ErrorTrap(Display* display)
        : m_display(display)
        , m_previous(XSetErrorHandler(CountError))
    {
        g_trappedErrors = 0;
    }
    ~ErrorTrap()
    {
        XSync(m_display, False);
        XSetErrorHandler(m_previous);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Whether a request since the trap was set failed; waits for the server's answers.
    bool Failed()
    {
        XSync(m_display, False);
        return g_trappedErrors != 0;
    }

private:
    Display* m_display;
    XErrorHandler m_previous;
};

// A property of 32-bit items (Xlib hands them over as longs). Empty when it is missing, of
// another type or format, or the window is gone; present tells whether it exists at all.
std::vector<unsigned long> Property32(Display* display, Window window, Atom property, Atom type,
                                      bool* present = nullptr)
{
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> items;
    if (XGetWindowProperty(display, window, property, 0, MaxPropertyItems, False, type, &actualType, &actualFormat,
                           &count, &remaining, &data)
        == Success) {
        if (data && (type == AnyPropertyType || actualType == type) && actualFormat == 32) {
            const auto* longs = reinterpret_cast<const unsigned long*>(data);
            items.assign(longs, longs + count);
        }
        if (data)
            XFree(data);
    }
    if (present)
        *present = actualType != None;
    return items;
}

// Whether a Motif hints field, when its flag is set, leaves the function or decoration on.
bool MotifAllows(bool fieldSet, unsigned long field, unsigned long all, unsigned long bit)
{
    if (!fieldSet)
        return true;
    // With the "all" bit, the other bits name what is taken away.
    return (field & all) ? !(field & bit) : (field & bit) != 0;
}

} // namespace

struct X11DesktopWindows::Connection
{
    Display* display = nullptr;
    Window root = None;
    std::array<Atom, AtomCount> atoms {};
    bool hasResources = false;

    Atom atom(AtomIndex index) const { return atoms[index]; }

    bool WindowManagerRunning() const
    {
        const auto check = Property32(display, root, atom(NetSupportingWmCheck), XA_WINDOW);
        if (check.empty())
            return false;
        // A manager that ended leaves the root's property behind, but its own window is gone.
        const auto self = Property32(display, check.front(), atom(NetSupportingWmCheck), XA_WINDOW);
        return !self.empty() && self.front() == check.front();
    }

    // Every top-level window, topmost first.
    std::vector<Window> TopLevelWindows() const
    {
        std::vector<Window> windows;
        if (WindowManagerRunning()) {
            auto list = Property32(display, root, atom(NetClientListStacking), XA_WINDOW);
            if (list.empty())
                list = Property32(display, root, atom(NetClientList), XA_WINDOW);
            // The list may still name a window that is gone, whose id a new window of another
            // program has already taken: a window counts once the manager has taken it on.
            for (auto window = list.rbegin(); window != list.rend(); ++window) {
                const auto state = Property32(display, *window, atom(WmState), atom(WmState));
                if (!state.empty() && (state.front() == NormalState || state.front() == IconicState)) // Xutil's states
                    windows.push_back(*window);
            }
            return windows;
        }
        Window rootReturn = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, root, &rootReturn, &parent, &children, &count))
            return windows;
        // Bottom first as the server lists them; menus, tips and hidden helpers are no windows
        // of the user's.
        for (unsigned int i = count; i-- > 0;) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) && !attributes.override_redirect
                && attributes.map_state == IsViewable)
                windows.push_back(children[i]);
        }
        if (children)
            XFree(children);
        return windows;
    }

    ProcessId ProcessOf(Window window) const
    {
        const auto pid = Property32(display, window, atom(NetWmPid), XA_CARDINAL);
        if (!pid.empty())
            return static_cast<ProcessId>(pid.front());
        // The server names the client by the id's range alone, and a gone window's range may
        // already belong to a new client: only a window that exists is asked about.
        XWindowAttributes attributes;
        if (!hasResources || !XGetWindowAttributes(display, window, &attributes))
            return 0;
        XResClientIdSpec wanted { window, XRES_CLIENT_ID_PID_MASK };
        long count = 0;
        XResClientIdValue* values = nullptr;
        ProcessId process = 0;
        if (XResQueryClientIds(display, 1, &wanted, &count, &values) == Success) {
            for (long i = 0; i < count; ++i) {
                if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_PID && XResGetClientPid(&values[i]) > 0)
                    process = XResGetClientPid(&values[i]);
            }
            XResClientIdsDestroy(count, values);
        }
        return process;
    }

    QList<WindowHandle> WindowsOf(ProcessId process) const
    {
        QList<WindowHandle> windows;
        for (const Window window : TopLevelWindows()) {
            if (ProcessOf(window) == process)
                windows.append(static_cast<WindowHandle>(window));
        }
        return windows;
    }
};

X11DesktopWindows::X11DesktopWindows() = default;

X11DesktopWindows::~X11DesktopWindows()
{
    if (m_connection)
        XCloseDisplay(m_connection->display);
}

X11DesktopWindows::Connection* X11DesktopWindows::Open()
{
    if (m_connection)
        return m_connection.get();
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    auto connection = std::make_unique<Connection>();
    connection->display = display;
    connection->root = XDefaultRootWindow(display);
    std::array<char*, AtomCount> names {};
    for (std::size_t i = 0; i < AtomCount; ++i)
        names[i] = const_cast<char*>(AtomNames[i]);
    XInternAtoms(display, names.data(), AtomCount, False, connection->atoms.data());
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    // Client ids (and so processes) came with version 1.2.
    connection->hasResources = XResQueryExtension(display, &eventBase, &errorBase)
        && XResQueryVersion(display, &major, &minor) && (major > 1 || (major == 1 && minor >= 2));
    m_connection = std::move(connection);
    return m_connection.get();
}

InputIdle X11DesktopWindows::InputIdleState(ProcessId process)
{
    if (!Open() || process <= 0)
        return InputIdle::Ended;
    if (!ProcessWindows(process).isEmpty())
        return InputIdle::Ready;
    // Readable once the process has ended, whoever's child it is; none once it is gone. (Called
    // directly: the C library's declaration of it lacks C linkage in this release.)
    const FdGuard exited(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(process), 0U)));
    pollfd ended { exited.Get(), POLLIN, 0 };
    return exited.Get() < 0 || ::poll(&ended, 1, 0) > 0 ? InputIdle::Ended : InputIdle::Waiting;
}

QList<WindowHandle> X11DesktopWindows::ProcessWindows(ProcessId process)
{
    const Connection* x = Open();
    if (!x || process <= 0)
        return {};
    ErrorTrap trap(x->display);
    return x->WindowsOf(process);
}

ProcessId X11DesktopWindows::WindowProcess(WindowHandle window)
{
    const Connection* x = Open();
    if (!x || window <= 0)
        return 0;
    ErrorTrap trap(x->display);
    return x->ProcessOf(static_cast<Window>(window));
}

bool X11DesktopWindows::HasMinimizeBox(WindowHandle window)
{
    const Connection* x = Open();
    if (!x || window <= 0)
        return false;
    Display* display = x->display;
    const auto id = static_cast<Window>(window);
    ErrorTrap trap(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, id, &attributes))
        return false;
    bool managed = false;
    const auto allowed = Property32(display, id, x->atom(NetWmAllowedActions), XA_ATOM, &managed);
    if (managed)
        return std::find(allowed.begin(), allowed.end(), x->atom(NetWmActionMinimize)) != allowed.end();

    // No window manager speaks for the window: a normal window has the box unless its hints
    // take it away. The first type named that is known decides; none named means normal, or a
    // dialog for a window that belongs to another.
    const auto types = Property32(display, id, x->atom(NetWmWindowType), XA_ATOM);
    const auto known = std::find_if(types.begin(), types.end(), [x](unsigned long type) {
        for (std::size_t i = NetWmWindowTypeNormal; i <= NetWmWindowTypeDesktop; ++i) {
            if (type == x->atoms[i])
                return true;
        }
        return false;
    });
    Window owner = None;
    const bool normal
        = known != types.end() ? *known == x->atom(NetWmWindowTypeNormal) : !XGetTransientForHint(display, id, &owner);
    if (!normal)
        return false;
    const auto hints = Property32(display, id, x->atom(MotifWmHints), AnyPropertyType);
    if (hints.size() < 3)
        return true;
    return MotifAllows(hints[0] & MwmHintsFunctions, hints[1], MwmFuncAll, MwmFuncMinimize)
        && MotifAllows(hints[0] & MwmHintsDecorations, hints[2], MwmDecorAll, MwmDecorMinimize);
}

bool X11DesktopWindows::PostCloseRequest(WindowHandle window)
{
    const Connection* x = Open();
    if (!x || window <= 0)
        return false;
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window);
    event.xclient.message_type = x->atom(WmProtocols);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(x->atom(WmDeleteWindow));
    event.xclient.data.l[1] = CurrentTime;
    ErrorTrap trap(x->display);
    const Status sent = XSendEvent(x->display, event.xclient.window, False, NoEventMask, &event);
    return sent != 0 && !trap.Failed();
}
