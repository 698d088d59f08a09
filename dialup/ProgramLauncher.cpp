#include "dialup/ProgramLauncher.h"

#include "platform/ShortcutResolver.h"

ProgramLauncher::ProgramLauncher(ProcessStarter& processes, DesktopWindows& windows, const ShortcutResolver& shortcuts,
                                 QStringList& handles, bool& appsLaunched, int readyTimeoutMs)
    : m_processes(processes)
    , m_windows(windows)
    , m_shortcuts(shortcuts)
    , m_handles(handles)
    , m_appsLaunched(appsLaunched)
    , m_readyTimeoutMs(readyTimeoutMs)
{ }

void ProgramLauncher::ApplicationLauncher(const QStringList& programs)
{
    if (m_appsLaunched)
        return;
    m_handles.clear();
    for (const QString& line : programs) {
        const ProcessId process = Start(line);
        if (process == 0)
            continue;
        // A program that is not ready in time, or ends first, may still have windows to find.
        m_windows.WaitForInputIdle(process, m_readyTimeoutMs);
        LaunchedWindow = 0;
        for (const WindowHandle window : m_windows.ProcessWindows(process)) {
            if (!FindLaunchedWindow(window))
                break;
        }
        if (LaunchedWindow != 0)
            m_handles.append(QString::number(LaunchedWindow));
    }
    m_appsLaunched = true;
}

ProcessId ProgramLauncher::Start(const QString& line)
{
    if (!m_shortcuts.IsShortcut(line))
        return m_processes.StartCommandLine(line);
    // A shortcut that cannot be read starts nothing: run as a program, its text could.
    const std::optional<ProcessCommand> command = m_shortcuts.Resolve(line);
    return command ? m_processes.Start(*command) : 0;
}

bool ProgramLauncher::FindLaunchedWindow(WindowHandle window)
{
    LaunchedWindow = window;
    return !m_windows.HasMinimizeBox(window);
}

void ProgramLauncher::ApplicationCloser()
{
    if (m_handles.isEmpty())
        return;
    for (qsizetype i = m_handles.size() - 1; i >= 0; --i) {
        bool valid = false;
        const WindowHandle window = m_handles.at(i).toLongLong(&valid);
        if (valid)
            m_windows.PostCloseRequest(window);
    }
    m_handles.clear();
}
