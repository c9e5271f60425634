#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share: the input as bytes, an application for the classes
// that want one, and one private temporary folder for targets that read files.

// The input, not copied: valid for the call only.
QByteArray fuzzInput(const uint8_t* data, size_t size);

// A QCoreApplication made once, for sockets and text codecs.
void ensureFuzzApplication();

// A file in the process's own temporary folder (removed at exit) holding bytes;
// written anew for each input under the same name.
QString fuzzFile(const QString& name, const QByteArray& bytes);

// Writes the text to standard error when KESTREL_FUZZ_VERBOSE is set: where a seed's
// conversation ended, while writing seeds.
void fuzzReport(const QString& text);
