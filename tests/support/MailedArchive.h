#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What one mailed message carried, read back the way the user would: the message is
// parsed with Python's email package (tests/scripts/mail_attachments.py) and its one
// attachment unpacked with 7-Zip and the zip password (unless it is one part of an
// archive mailed in parts).
struct MailedArchive
{
    QString subject;
    // The one file in the attachment; empty when there was none or it did not open.
    QByteArray content;
    // Everything the parse reported (subject, attachments, defects, multipart).
    QJsonObject parsed;
    // The one attachment as it was decoded, and its name: an archive, or one part of
    // an archive mailed in parts.
    QByteArray attachment;
    QString attachmentName;

    // messagePath is a stored message (.eml); workFolder receives the parts.
    static MailedArchive read(const QString& messagePath, const QString& workFolder,
                              const QString& zipPassword);
    // The same for a message text as the server received it (dot-stuffed).
    static MailedArchive readText(const QByteArray& received, const QString& workFolder,
                                  const QString& zipPassword);
};
