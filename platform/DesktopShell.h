#pragma once

#include <QString>

// The desktop's "open" verb, as a file manager applies it to what the user double-clicks.
class DesktopShell
{
public:
    virtual ~DesktopShell() = default;

    // Opens target in a normal window: a path naming an executable file is started directly,
    // in its own folder, and a desktop entry's program as the entry says, like the program
    // launcher starts them, and runs on after this program ends; anything else (a document, a
    // "mailto:" link) goes to the desktop's opener. Returns false when nothing could be started
    // (a desktop entry that cannot be read included); the program itself never reports that to
    // the user.
    virtual bool Open(const QString& target) = 0;
};
