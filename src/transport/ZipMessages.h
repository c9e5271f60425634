#pragma once

#include <QString>

// The texts of the zip component's numbered messages (those that adding an archive
// can produce). Returns an empty text for a number without one.
QString zipMessageText(int number);

// The text reported for a number: the message, or a notice naming the missing number.
QString zipReportText(int number);

// Why an archive could not be made, in words ("the disk is full", "permission denied
// reading /home/jo/a.txt"), never the engine's own text: libzip's error code, the
// system's error number that came with it (0 when none), the file being packed and
// the folder the archive is written to.
QString zipFailureCause(int zipError, int systemError, const QString& source,
                        const QString& folder);
// The same for a failure of the system alone, while reading the source or writing
// into the folder.
QString fileFailureCause(int systemError, bool reading, const QString& source,
                         const QString& folder);
