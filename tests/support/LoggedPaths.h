#pragma once

#include <QStringList>

// The paths the backup log records, in the log's order, read as the program reads it.
QStringList loggedPaths();
