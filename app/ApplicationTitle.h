#pragma once

#include <QString>

// The application's title: the executable's file name without folder and extension, every
// character after the first in lower case ("/usr/bin/kronvik" → "kronvik", "KRONVIK.bin" → "Kronvik").
QString ApplicationTitle(const QString& executablePath);
