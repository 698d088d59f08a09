#pragma once

#include <QString>

// The private folder for this program's run-time files (its lock and its socket): "kronvik" inside
// xdgRuntimeDir, or, when that is not an absolute path, "kronvik-<uid>" inside tempDir. Created with
// mode 0700 when missing. Empty when it cannot be created or is not safely ours: not a directory,
// a symbolic link, owned by another user, or open to others.
QString PrivateRuntimeFolder(const QString& xdgRuntimeDir, const QString& tempDir);
