#pragma once

#include <QString>

// Starts one edition: sets the application name (which decides the edition
// everywhere), installs the real prompt, clock and platform services (or the
// recording fakes when KESTREL_FAKE_PLATFORM=1), opens the main window and runs
// the event loop.
int runKestrelEdition(int argc, char* argv[], const QString& editionName);
