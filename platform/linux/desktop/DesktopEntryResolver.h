#pragma once

#include "platform/ShortcutResolver.h"

#include <QByteArray>

// Desktop entries (".desktop" files of type Application) as this platform's shortcuts: the Exec
// line gives the program and its arguments, with the entry's quoting and escapes undone and its
// field codes removed (no files or URLs are handed over); the Path line gives the folder.
class DesktopEntryResolver final : public ShortcutResolver
{
public:
    bool IsShortcut(const QString& path) const override;
    std::optional<ProcessCommand> Resolve(const QString& path) const override;

    // The command of a desktop entry's text; nothing when the text is no well-formed entry of
    // an application with a program to run.
    static std::optional<ProcessCommand> Parse(const QByteArray& text);
};
