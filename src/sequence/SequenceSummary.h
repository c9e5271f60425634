#pragma once

#include <QStringList>

// The five summary lines of the status memo and of a successful sequence's data
// file, read from the settings store.
QStringList sequenceSummaryLines();
// The status memo as the summary leaves it: the five lines, then whether the last
// sequence succeeded and, when it did not, which data file tells more.
QStringList sequenceSummaryMemo();
// Bytes as megabytes in the general floating format ("2.5").
QString megabytesText(double bytes);
