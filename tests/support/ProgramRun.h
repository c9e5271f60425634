#pragma once

#include <QString>
#include <QStringList>

// A built program of this tree run as a script would run it: without a display (no
// DISPLAY, WAYLAND_DISPLAY or platform plugin named), in the test's environment, with
// the recording platform fakes in place of the real services.
struct ProgramRun
{
    // -1 when it did not finish normally within two minutes.
    int exitCode = -1;
    QString out;
    QString errors;

    // program: the executable's name in src/app, "kestrelsolo".
    static ProgramRun run(const QStringList& arguments,
                          const QString& program = QStringLiteral("kestrelsolo"));
};
