#pragma once

#include <QString>

#include <exception>
#include <functional>

// What the components and subsystems use of the application object: its title, its task-bar
// window, its message loop, its standard error box, and the notifications it sends when it is
// minimised and restored. The application is the only implementation; its owner builds it first.
class ApplicationServices
{
public:
    virtual ~ApplicationServices() = default;

    virtual const QString& Title() const = 0;

    // The task-bar window is shown and its form not iconified by the window manager: the user
    // can reach the dialog without the tray icon.
    virtual bool TaskbarWindowOnScreen() const = 0;
    virtual void ShowTaskbarWindow(bool visible) = 0;

    // Handles every message waiting now, then returns.
    virtual void ProcessMessages() = 0;
    // The message loop was asked to end; waits in progress should give up.
    virtual bool Terminated() const = 0;

    // Shows an error raised inside a handler; the message loop goes on.
    virtual void HandleException(const std::exception& error) = 0;

    // Sent once the application's state changed: after a minimise, after a restore.
    std::function<void()> OnMinimize;
    std::function<void()> OnRestore;
};
