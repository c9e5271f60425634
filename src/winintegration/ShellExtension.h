#pragma once

// The window's two routines for the file-manager menu entry of the running edition;
// KestrelClient has no entry and both do nothing there.

// Registers the entry through the platform service. When the helper is there to run,
// stores `DLLRegistered` true and returns true (the caller then shows the settings
// box checked); otherwise writes nothing, tells nothing and returns false.
bool registerShellExtension();

// Removes the entry (the copied helper stays, so the next start registers it again).
// Returns true when there was a helper to remove the entry of; `DLLRegistered` is
// then stored false at once, as the settings box shows, so that a refresh of the
// settings page before the next save does not tick the box and register it again.
bool removeShellExtension();
