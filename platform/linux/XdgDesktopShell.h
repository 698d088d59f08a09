#pragma once

#include "platform/DesktopShell.h"

// Executables are started detached; everything else goes to xdg-open through Qt.
class XdgDesktopShell final : public DesktopShell
{
public:
    bool Open(const QString& target) override;
};
