#pragma once

#include <QString>

// The private folder for this program's run-time files (its lock and its socket): "kronvik" inside
// xdgRuntimeDir, or, when that is not an absolute path, cannot be used or lies too deep for a
// socket's address, "kronvik-<uid>" inside tempDir. Created with mode 0700 when missing. A folder is used only when it
// is safely ours: a directory, not a symbolic link, owned by this user and closed to others. Empty when neither is.
QString PrivateRuntimeFolder(const QString& xdgRuntimeDir, const QString& tempDir);
