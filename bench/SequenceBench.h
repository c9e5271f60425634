#pragma once

#include "core/QuayRegistryObject.h"
#include "support/LoopbackMailSettings.h"
#include "support/RecordingSequenceWindow.h"
#include "support/SmtpSink.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

// Shared by the sequence benchmarks.

// The recording window of the sequence benchmarks, noting when the walks start and
// when they are done (the log tree is reloaded right after both walks, before the
// log itself is mailed).
class PhaseWindow : public RecordingSequenceWindow
{
public:
    void addStatusLine(const QString& line) override
    {
        // The phase lines begin with R, I or P; the lines of every file do not, and
        // cost no more than a look at their first letter.
        const QChar first = line.isEmpty() ? QChar() : line.front();
        if (first == u'R' || first == u'I' || first == u'P') {
            if (line == QLatin1String("Processing files from files list..."))
                walkStartMs = timer.elapsed();
            if (line.startsWith(QLatin1String("Refreshing")) ||
                line.startsWith(QLatin1String("Initialising")) ||
                line.startsWith(QLatin1String("Processing")))
                marks.append({timer.elapsed(), line.left(40)});
        }
        RecordingSequenceWindow::addStatusLine(line);
    }
    void loadLogIntoTree() override
    {
        walkEndMs = timer.elapsed();
        RecordingSequenceWindow::loadLogIntoTree();
    }

    QElapsedTimer timer;
    // When each phase began, by its status line.
    QList<QPair<qint64, QString>> marks;
    qint64 walkStartMs = -1;
    qint64 walkEndMs = -1;
};

// Points the settings at the SMTP sink on 127.0.0.1, with a zip password.
inline void pointSettingsAt(const SmtpSink& sink, const QString& zipPassword)
{
    storeLoopbackMailSettings(sink.port(), {QStringLiteral("bench"), QStringLiteral("bench"),
                                            QStringLiteral("backups@example.org"), zipPassword});
}

// Writes a list or log file of the sequence: one line each, CR LF.
inline void writeLines(const QString& path, const QStringList& lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    for (const QString& line : lines)
        file.write(line.toUtf8() + "\r\n");
}
