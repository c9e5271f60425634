#pragma once

#include <QStringList>

// The five summary lines of the status memo and of a successful sequence's data
// file, read from the settings store.
QStringList sequenceSummaryLines();
// Bytes as megabytes in the general floating format ("2.5").
QString megabytesText(double bytes);
