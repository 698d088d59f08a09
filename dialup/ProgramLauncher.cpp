#include "dialup/ProgramLauncher.h"

#include "base/ApplicationServices.h"
#include "platform/MessageWait.h"
#include "platform/ShortcutResolver.h"
#include "platform/TickSource.h"

#include <QScopedValueRollback>

#include <cstdint>

namespace {

constexpr int LookAgainMs = 100;

} // namespace

ProgramLauncher::ProgramLauncher(ProcessStarter& processes, DesktopWindows& windows, const ShortcutResolver& shortcuts,
                                 const TickSource& ticks, MessageWait& wait, ApplicationServices& application,
                                 Records records, bool& appsLaunched, int readyTimeoutMs)
    : m_processes(processes)
    , m_windows(windows)
    , m_shortcuts(shortcuts)
    , m_ticks(ticks)
    , m_wait(wait)
    , m_application(application)
    , m_records(records)
    , m_appsLaunched(appsLaunched)
    , m_readyTimeoutMs(readyTimeoutMs)
{ }

void ProgramLauncher::ApplicationLauncher(const QStringList& programs)
{
    // A launch already waiting below this one will start every line itself.
    if (m_appsLaunched || m_launching)
        return;
    const QScopedValueRollback<bool> launching(m_launching, true);
    m_records.Handles.clear();
    m_records.Processes.clear();
    for (const QString& line : programs) {
        if (m_application.Terminated())
            break;
        const ProcessId process = Start(line);
        if (process == 0)
            continue;
        // A program that is not ready in time, or ends first, may still have windows to find.
        WaitForInputIdle(process);
        LaunchedWindow = 0;
        for (const WindowHandle window : m_windows.ProcessWindows(process)) {
            if (!FindLaunchedWindow(window))
                break;
        }
        if (LaunchedWindow != 0) {
            m_records.Handles.append(QString::number(LaunchedWindow));
            m_records.Processes.append(process);
        }
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

void ProgramLauncher::WaitForInputIdle(ProcessId process)
{
    const std::uint32_t started = m_ticks.TickCount();
    // The timers, the tray and the sockets are served meanwhile, as in the mail check's wait.
    // Nothing tells of a new window of another program: the launcher looks again now and then.
    while (m_windows.InputIdleState(process) == InputIdle::Waiting && !m_application.Terminated()
           && static_cast<std::int32_t>(m_ticks.TickCount() - started) < m_readyTimeoutMs)
        m_wait.WaitMessageFor(LookAgainMs);
}

bool ProgramLauncher::FindLaunchedWindow(WindowHandle window)
{
    LaunchedWindow = window;
    return !m_windows.HasMinimizeBox(window);
}

void ProgramLauncher::ApplicationCloser()
{
    if (m_records.Handles.isEmpty())
        return;
    for (qsizetype i = m_records.Handles.size() - 1; i >= 0; --i) {
        bool valid = false;
        const WindowHandle window = m_records.Handles.at(i).toLongLong(&valid);
        // The desktop hands the id of a window that is gone to the next new one, which may be
        // another program's.
        const ProcessId process = m_records.Processes.value(i);
        if (valid && process != 0 && m_windows.WindowProcess(window) == process)
            m_windows.PostCloseRequest(window);
    }
    m_records.Handles.clear();
    m_records.Processes.clear();
}
