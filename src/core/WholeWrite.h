#pragma once

#include <QtGlobal>

class QIODevice;

// Writes all of the bytes, or fails. A file on a disk that fills up takes part of a
// write and reports no error for it: asked again for the rest, it fails with the
// system's reason ("No space left on device"), which the device's errorString then
// gives.
bool writeWhole(QIODevice& device, const char* data, qint64 size);
