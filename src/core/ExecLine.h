#pragma once

#include <QStringList>

#include <optional>

// A command line split into the program and its arguments as a desktop file's Exec
// key is (freedesktop.org desktop entries): arguments are separated by blanks, and an
// argument in double quotes keeps its blanks, with \", \`, \$ and \\ inside standing
// for the character. No shell takes part: nothing is expanded or redirected.
// None when a quote is not closed or the line names no program.
std::optional<QStringList> splitExecLine(const QString& line);
