#pragma once

#include <QString>

// Text for a terminal from names the program did not choose (subjects in the mailbox,
// file names on the disk): control characters would otherwise reach the terminal as
// commands (an escape sequence can retitle the window, move the cursor, hide what
// follows), so each is shown as \xHH or \uHHHH instead. Bidirectional overrides go
// the same way, as they reorder what is shown.

// One line: a line break inside it is shown escaped too.
QString terminalLine(const QString& text);
// Lines the program joined itself: its line breaks stay.
QString terminalText(const QString& text);
