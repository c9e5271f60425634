#pragma once

#include "transport/IdMessagePart.h"

// A file carried by a message. The file is read only while the message is written,
// so it must stay in place until the message has been sent.
class TIdAttachment : public TIdMessagePart
{
public:
    explicit TIdAttachment(const QString& storedPathName) : StoredPathName(storedPathName) {}

    Kind kind() const override { return Kind::Attachment; }

    // The name the part carries: PartName when set, else the file's name without its
    // folder.
    QString FileName() const;

    QString StoredPathName;
    // A part of an archive mailed in parts carries only these bytes of the file, under
    // a name of its own; a negative length carries the file from Offset to its end.
    qint64 Offset = 0;
    qint64 Length = -1;
    QString PartName;
    QString ContentDisposition;
    QString ContentID;
};
