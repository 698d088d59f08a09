#pragma once

#include "platform/DesktopShell.h"

#include <QStringList>

// Records what it was asked to open; starts nothing.
class FakeDesktopShell final : public DesktopShell
{
public:
    bool Open(const QString& target) override
    {
        opened << target;
        return succeed;
    }

    QStringList opened;
    bool succeed = true;
};
