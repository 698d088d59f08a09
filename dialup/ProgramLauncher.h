#pragma once

#include "platform/DesktopWindows.h"

#include <QList>
#include <QStringList>

class ApplicationServices;
class MessageWait;
class ShortcutResolver;
class TickSource;

// Starts the user's programs once a connection is up and the time is set, records the main
// window of each, and asks those windows to close when the connection is gone. The recorded
// windows are kept as signed decimal text in the handle list its owner gives it, the process
// that owned each beside it.
class ProgramLauncher final
{
public:
    // How long a started program may take to put up its first window before the launcher goes
    // on without waiting for it any longer.
    static constexpr int ReadyTimeoutMs = 30000;

    // The recorded windows, in launch order, and the started process of each; its owner keeps them.
    struct Records
    {
        QStringList& Handles;
        QList<ProcessId>& Processes;
    };

    ProgramLauncher(ProcessStarter& processes, DesktopWindows& windows, const ShortcutResolver& shortcuts,
                    const TickSource& ticks, MessageWait& wait, ApplicationServices& application, Records records,
                    bool& appsLaunched, int readyTimeoutMs = ReadyTimeoutMs);

    // Unless the programs were launched already or a launch is under way: forgets the recorded
    // windows, starts each program of the list from the first to the last, records the main
    // window of each that has one, and marks the programs launched (an empty list included).
    // Programs that cannot be started are skipped without a word. While it waits for a program
    // to become ready, the thread's messages go on being dispatched; once the application is
    // asked to end, it neither waits nor starts anything more.
    void ApplicationLauncher(const QStringList& programs);

    // Asks each recorded window to close, the last recorded first, without waiting for the
    // programs; then forgets them all. A window that is gone, or whose id now belongs to another
    // process, is skipped.
    void ApplicationCloser();

private:
    // Starts one line of the list: a program file, or a shortcut to one. The new process's id,
    // 0 when nothing started.
    ProcessId Start(const QString& line);
    // Until the process is ready for input, ends, the bound passes or the application ends.
    void WaitForInputIdle(ProcessId process);
    // One top-level window of the started process, in enumeration order. The main window is
    // the first with a minimise box; without one, the last. False ends the search.
    bool FindLaunchedWindow(WindowHandle window);

    ProcessStarter& m_processes;
    DesktopWindows& m_windows;
    const ShortcutResolver& m_shortcuts;
    const TickSource& m_ticks;
    MessageWait& m_wait;
    ApplicationServices& m_application;
    Records m_records;
    bool& m_appsLaunched;
    int m_readyTimeoutMs;
    bool m_launching = false;
    // The window found by the last search; 0 when none.
    WindowHandle LaunchedWindow = 0;
};
