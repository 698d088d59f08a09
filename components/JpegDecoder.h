#pragma once

#include <QByteArray>
#include <QImage>

// Decodes a JPEG (JFIF) picture with libjpeg. Any fault in the data, a stream cut short included,
// gives a null image instead of ending the program; so do pictures larger than 16 megapixels and
// colour models other than grey, RGB and YCbCr.
QImage DecodeJpeg(const QByteArray& data);
