#pragma once

#include <QString>

// The small text files the program leaves for the desktop (autostart entries, timer
// units): written whole or not at all, removed when present. Both throw KestrelError
// naming the file and the system's reason.
namespace DesktopFiles {

void write(const QString& path, const QString& text);
void removeIfPresent(const QString& path);

} // namespace DesktopFiles
