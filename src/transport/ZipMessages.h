#pragma once

#include <QString>

// The texts of the zip component's numbered messages (those that adding an archive
// can produce). Returns an empty text for a number without one.
QString zipMessageText(int number);

// The text reported for a number: the message, or a notice naming the missing number.
QString zipReportText(int number);
