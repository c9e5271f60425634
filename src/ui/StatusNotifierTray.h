#pragma once

// Whether Qt serves this program's tray icon as a StatusNotifierItem over D-Bus. It
// does on X11 and Wayland when the session bus has a tray watcher with a host
// registered, and decides once per process; this answer is kept the same way. Such a
// tray reports no mouse events: the desktop's host turns its own gesture on the icon
// (a click on most, a double click on some) into one Activate, which reaches the
// program as QSystemTrayIcon::Trigger and is never followed by a DoubleClick.
bool isStatusNotifierTray();
