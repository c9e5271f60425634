#pragma once

#include <QString>

// Starts one edition: sets the application name (which decides the edition
// everywhere) and reads the command line. Without options it installs the real
// prompt, clock and platform services (or the recording fakes when
// KESTREL_FAKE_PLATFORM=1), opens the main window and runs the event loop; --run runs
// one sequence without a window; --help and --version print and return.
int runKestrelEdition(int argc, char* argv[], const QString& editionName, const QString& version);
