#pragma once

#include "platform/DesktopWindows.h"

#include <QStringList>

class ShortcutResolver;

// Starts the user's programs once a connection is up and the time is set, records the main
// window of each, and asks those windows to close when the connection is gone. The recorded
// windows are kept as signed decimal text in the handle list its owner gives it.
class ProgramLauncher final
{
public:
    // How long a started program may take to put up its first window before the launcher goes
    // on without waiting for it any longer.
    static constexpr int ReadyTimeoutMs = 30000;

    ProgramLauncher(ProcessStarter& processes, DesktopWindows& windows, const ShortcutResolver& shortcuts,
                    QStringList& handles, bool& appsLaunched, int readyTimeoutMs = ReadyTimeoutMs);

    // Unless the programs were launched already: forgets the recorded windows, starts each
    // program of the list from the first to the last, records the main window of each that has
    // one, and marks the programs launched (an empty list included). Programs that cannot be
    // started are skipped without a word.
    void ApplicationLauncher(const QStringList& programs);

    // Asks each recorded window to close, the last recorded first, without waiting for the
    // programs; then forgets them all.
    void ApplicationCloser();

private:
    // Starts one line of the list: a program file, or a shortcut to one. The new process's id,
    // 0 when nothing started.
    ProcessId Start(const QString& line);
    // One top-level window of the started process, in enumeration order. The main window is
    // the first with a minimise box; without one, the last. False ends the search.
    bool FindLaunchedWindow(WindowHandle window);

    ProcessStarter& m_processes;
    DesktopWindows& m_windows;
    const ShortcutResolver& m_shortcuts;
    QStringList& m_handles;
    bool& m_appsLaunched;
    int m_readyTimeoutMs;
    // The window found by the last search; 0 when none.
    WindowHandle LaunchedWindow = 0;
};
