#pragma once

#include "platform/DesktopWindows.h"

#include <memory>

// The windows of the X display named by DISPLAY, over a connection of its own that opens at the
// first call and stays open. With a window manager, the top-level windows are its client list
// and a window's minimise box is its allowed "minimise" action; without one, they are the root
// window's mapped children, and the box follows the window's type and Motif hints. A window's
// process is its _NET_WM_PID, or where that is missing the X-Resource extension's answer.
class X11DesktopWindows final : public DesktopWindows
{
public:
    X11DesktopWindows();
    ~X11DesktopWindows() override;

    X11DesktopWindows(const X11DesktopWindows&) = delete;
    X11DesktopWindows& operator=(const X11DesktopWindows&) = delete;

    InputIdle InputIdleState(ProcessId process) override;
    QList<WindowHandle> ProcessWindows(ProcessId process) override;
    ProcessId WindowProcess(WindowHandle window) override;
    bool HasMinimizeBox(WindowHandle window) override;
    bool PostCloseRequest(WindowHandle window) override;

private:
    struct Connection;
    // The open connection; null while the display cannot be reached.
    Connection* Open();

    std::unique_ptr<Connection> m_connection;
};
