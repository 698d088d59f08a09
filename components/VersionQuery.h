#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The version block is UTF-8 text, read up to its first zero byte. A line "[\StringFileInfo\041604E4]"
// opens the string table of a language and code page; each line "Name=Value" after it is one string
// of that table. Other lines are ignored.
//
// Looks up a string by its query path, "\StringFileInfo\" + language and code page + "\" + name; table
// and name compare without regard to case. Empty when the block has no such table or string; an empty
// string is found (its value is empty).
std::optional<QString> VersionQueryValue(const QByteArray& block, const QString& path);
