#pragma once

#include "platform/ProcessStarter.h"

#include <QList>

#include <cstdint>

// A top-level window of the desktop; 0 is none. Kept as signed decimal text where it is stored.
using WindowHandle = std::int64_t;

// The top-level windows of the user's desktop, as the launcher sees the programs it started.
// Every call is harmless when there is no desktop to talk to, and for windows that are gone.
class DesktopWindows
{
public:
    virtual ~DesktopWindows() = default;

    // Waits until process has put a top-level window on screen: its first moment of being ready
    // for input. Returns true once it has; false when the process ends first, is not there at
    // all, or timeoutMs pass. Blocks the calling thread meanwhile.
    virtual bool WaitForInputIdle(ProcessId process, int timeoutMs) = 0;

    // The top-level windows that process owns, topmost first (the desktop's stacking order).
    // Empty when it has none or the desktop cannot be asked.
    virtual QList<WindowHandle> ProcessWindows(ProcessId process) = 0;

    // The window offers the user to minimise it. False for a window that is gone.
    virtual bool HasMinimizeBox(WindowHandle window) = 0;

    // Asks the window's program to close it, the way its close box does; does not wait for an
    // answer. False when the request could not be delivered (the window is gone).
    virtual bool PostCloseRequest(WindowHandle window) = 0;
};
