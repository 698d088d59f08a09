#include "platform/linux/desktop/XdgDesktopShell.h"

#include "platform/ProcessStarter.h"
#include "platform/ShortcutResolver.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

XdgDesktopShell::XdgDesktopShell(ProcessStarter& processes, const ShortcutResolver& shortcuts)
    : m_processes(processes)
    , m_shortcuts(shortcuts)
{ }

bool XdgDesktopShell::Open(const QString& target)
{
    const QFileInfo file(target);
    if (file.isFile() && m_shortcuts.IsShortcut(target)) {
        const std::optional<ProcessCommand> command = m_shortcuts.Resolve(target);
        return command && m_processes.Start(*command) != 0;
    }
    if (file.isFile() && file.isExecutable())
        return m_processes.Start({ file.absoluteFilePath(), {}, file.absolutePath() }) != 0;
    const QUrl url = file.exists() ? QUrl::fromLocalFile(file.absoluteFilePath()) : QUrl(target);
    return url.isValid() && !url.isEmpty() && QDesktopServices::openUrl(url);
}
