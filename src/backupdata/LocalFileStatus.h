#pragma once

#include <QByteArray>
#include <QString>

// What the sequence asks of a file before and after its transport step, read with
// one stat: whether it is a regular file (or a link to one), and its last
// modification as wall-clock seconds, the form in which the backup log compares
// dates. Gives the same answers as TTernFileObject::Exists and FileDate, without
// building a QDateTime (the local-time conversions cost more than the stat itself
// when a sequence compares a large tree with its log).
struct LocalFileStatus
{
    bool isFile = false;
    qint64 fileDateSeconds = 0;
    // Bytes, for the size limit of the walk; 0 when the file cannot be read.
    qint64 size = 0;

    static LocalFileStatus of(const QString& path);
    // The same for a path already in the file system's encoding (QFile::encodeName),
    // for callers that ask more than once about one file.
    static LocalFileStatus ofEncoded(const QByteArray& encodedPath);
    // The same for a name inside a folder held open (a descriptor opened with
    // O_DIRECTORY): the system looks up one name instead of a whole path.
    static LocalFileStatus inFolder(int folderDescriptor, const QByteArray& encodedName);
};
