#pragma once

#include "platform/DesktopShell.h"

class ProcessStarter;
class ShortcutResolver;

// Executables and shortcuts are started detached, as the program launcher starts them; everything
// else goes to xdg-open through Qt.
class XdgDesktopShell final : public DesktopShell
{
public:
    XdgDesktopShell(ProcessStarter& processes, const ShortcutResolver& shortcuts);

    bool Open(const QString& target) override;

private:
    ProcessStarter& m_processes;
    const ShortcutResolver& m_shortcuts;
};
