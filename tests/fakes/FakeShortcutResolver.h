#pragma once

#include "platform/ShortcutResolver.h"

#include <QHash>

// Desktop entries by name; only those the test lays out resolve, to the command it gives.
class FakeShortcutResolver final : public ShortcutResolver
{
public:
    bool IsShortcut(const QString& path) const override
    {
        return path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive);
    }

    std::optional<ProcessCommand> Resolve(const QString& path) const override
    {
        const auto found = entries.constFind(path);
        if (found == entries.constEnd())
            return std::nullopt;
        return *found;
    }

    QHash<QString, ProcessCommand> entries;
};
