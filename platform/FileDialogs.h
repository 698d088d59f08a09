#pragma once

#include <QString>

#include <optional>

// Where an open-file dialog starts and what it is titled. Filter is "caption|patterns"; this
// platform's dialogs offer its programs and desktop entries under the caption.
struct TOpenDialog
{
    QString Title;
    QString Filter;
    QString InitialDir;
    QString FileName;
};

// The toolkit's modal open-file dialog: read-only box hidden, links and desktop entries not
// followed, so that choosing one yields its own path.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;

    // Runs the dialog (its own message loop while it is up); the chosen file's full path, or
    // nothing when the user cancels.
    virtual std::optional<QString> Open(const TOpenDialog& dialog) = 0;
};
