#pragma once

#include "platform/DesktopWindows.h"

#include <QHash>
#include <QList>

#include <functional>

// A desktop whose windows the test lays out per process. A process is ready for input once it
// has a window; every wait, search and close request is recorded.
class FakeDesktopWindows final : public DesktopWindows
{
public:
    struct Window
    {
        WindowHandle handle;
        bool minimizeBox;
    };

    struct Wait
    {
        ProcessId process;
        int timeoutMs;
    };

    bool WaitForInputIdle(ProcessId process, int timeoutMs) override
    {
        waits.append({ process, timeoutMs });
        if (onWait)
            onWait(process);
        return !windows.value(process).isEmpty();
    }

    QList<WindowHandle> ProcessWindows(ProcessId process) override
    {
        QList<WindowHandle> handles;
        for (const Window& window : windows.value(process))
            handles.append(window.handle);
        return handles;
    }

    bool HasMinimizeBox(WindowHandle handle) override
    {
        const Window* window = Find(handle);
        return window && window->minimizeBox;
    }

    bool PostCloseRequest(WindowHandle handle) override
    {
        closeRequests.append(handle);
        return Find(handle) != nullptr;
    }

    // Each process's top-level windows, topmost first.
    QHash<ProcessId, QList<Window>> windows;
    QList<Wait> waits;
    QList<WindowHandle> closeRequests;
    // Runs inside each wait, as a program would start meanwhile.
    std::function<void(ProcessId)> onWait;

private:
    const Window* Find(WindowHandle handle) const
    {
        for (const QList<Window>& list : windows) {
            for (const Window& window : list) {
                if (window.handle == handle)
                    return &window;
            }
        }
        return nullptr;
    }
};
