#pragma once

#include <QString>

// The file-manager helper program of an edition (kestrelsolo-add, ...): the file
// manager's menu entry runs it with the selected paths. It adds them to the edition's
// backup lists (FileManagerAddition), prints one line saying what it did (refusals
// follow on standard error, one a line) and, when a session bus is there, shows the
// same line as a desktop notification. Exit status 0 when nothing was refused or
// failed, 1 otherwise, 2 without paths.
int runFileManagerHelper(int argc, char* argv[], const QString& editionName);
