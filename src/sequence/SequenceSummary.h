#pragma once

#include <QStringList>

// The five summary lines of the status memo and of a successful sequence's data
// file, read from the settings store.
QStringList sequenceSummaryLines();
// The status memo as the summary leaves it: the five lines, then whether the last
// sequence succeeded, was stopped by the user or failed and, when it did not
// succeed, which data file tells more.
QStringList sequenceSummaryMemo();
// Whether the last sequence failed (the summary shows red); one the user stopped did not.
bool sequenceSummaryFailed();
// Bytes as megabytes in the general floating format ("2.5").
QString megabytesText(double bytes);
