#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The sequence data files: the status memo of each ended sequence, kept in the
// folder "Status Files" of the program folder under
// "Sequence Data - <yy-MM-dd hh-mm-ss>.txt". UTF-8, every line ended by CR LF.
class SequenceDataFile
{
public:
    // The program folder (setting QuayDirectory) + "/Status Files".
    static QString folder();
    // "Sequence Data - " + stamp + ".txt".
    static QString fileName(const QString& dateStamp);
    // Writes the lines into the folder (created with its parents when missing) under
    // the name for the stamp, replacing a file of that name only once the new one is
    // complete. Returns the file name. Throws KestrelError naming the path on failure.
    static QString write(const QStringList& lines, const QString& dateStamp);
};
