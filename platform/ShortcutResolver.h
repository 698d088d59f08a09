#pragma once

#include "platform/ProcessStarter.h"

#include <QString>

#include <optional>

// This platform's shortcuts: files that stand for a program with its arguments and folder.
class ShortcutResolver
{
public:
    virtual ~ShortcutResolver() = default;

    // Whether path is a shortcut by its name (extension in any letter case); the file is not read.
    virtual bool IsShortcut(const QString& path) const = 0;

    // What the shortcut starts. Nothing when the file cannot be read, is malformed or names no
    // program; whether that program exists is left to the start.
    virtual std::optional<ProcessCommand> Resolve(const QString& path) const = 0;
};
