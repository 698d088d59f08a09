#pragma once

#include "platform/DesktopWindows.h"

#include <QHash>
#include <QList>

#include <functional>

// A desktop whose windows the test lays out per process. A process is ready for input once it
// has a window, and never ends; every wait, search and close request is recorded.
class FakeDesktopWindows final : public DesktopWindows
{
public:
    struct Window
    {
        WindowHandle handle;
        bool minimizeBox;
    };

    InputIdle InputIdleState(ProcessId process) override
    {
        waits.append(process);
        if (onWait)
            onWait(process);
        return windows.value(process).isEmpty() ? InputIdle::Waiting : InputIdle::Ready;
    }

    QList<WindowHandle> ProcessWindows(ProcessId process) override
    {
        QList<WindowHandle> handles;
        for (const Window& window : windows.value(process))
            handles.append(window.handle);
        return handles;
    }

    ProcessId WindowProcess(WindowHandle handle) override
    {
        for (const ProcessId process : windows.keys()) {
            if (ProcessWindows(process).contains(handle))
                return process;
        }
        return 0;
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
    // Each look at a process's readiness.
    QList<ProcessId> waits;
    QList<WindowHandle> closeRequests;
    // Runs inside each look, as a program would start meanwhile.
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
