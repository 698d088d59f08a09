#pragma once

#include <QByteArray>
#include <QImage>

// The first picture of an icon file (header, directory, image) as an image with transparency.
// Pictures of up to 256 × 256 pixels with a colour table of 2, 16 or 256 entries are read; a
// null image comes back for anything else, or for data that is cut short or inconsistent.
QImage ReadIconFile(const QByteArray& data);
