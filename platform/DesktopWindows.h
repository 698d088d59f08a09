#pragma once

#include "platform/ProcessStarter.h"

#include <QList>

#include <cstdint>

// A top-level window of the desktop; 0 is none. Kept as signed decimal text where it is stored.
using WindowHandle = std::int64_t;

// How far a started program has come towards being ready for input.
enum class InputIdle
{
    // No top-level window yet, and the process runs.
    Waiting,
    // The process has put a top-level window on screen: its first moment of being ready for input.
    Ready,
    // The process ended first, was not there at all, or there is no desktop to ask.
    Ended,
};

// The top-level windows of the user's desktop, as the launcher sees the programs it started.
// Every call is harmless when there is no desktop to talk to, and for windows that are gone.
class DesktopWindows
{
public:
    virtual ~DesktopWindows() = default;

    // How far process has come towards being ready for input, looked at now: never waits.
    virtual InputIdle InputIdleState(ProcessId process) = 0;

    // The top-level windows that process owns, topmost first (the desktop's stacking order).
    // Empty when it has none or the desktop cannot be asked.
    virtual QList<WindowHandle> ProcessWindows(ProcessId process) = 0;

    // The process that owns the window, as ProcessWindows tells it; 0 when the window is gone or
    // its process cannot be told.
    virtual ProcessId WindowProcess(WindowHandle window) = 0;

    // The window offers the user to minimise it. False for a window that is gone.
    virtual bool HasMinimizeBox(WindowHandle window) = 0;

    // Asks the window's program to close it, the way its close box does; does not wait for an
    // answer. False when the request could not be delivered (the window is gone).
    virtual bool PostCloseRequest(WindowHandle window) = 0;
};
