#pragma once

#include "transport/IdMessagePart.h"

// A file carried by a message. The file is read only while the message is written,
// so it must stay in place until the message has been sent.
class TIdAttachment : public TIdMessagePart
{
public:
    explicit TIdAttachment(const QString& storedPathName) : StoredPathName(storedPathName) {}

    Kind kind() const override { return Kind::Attachment; }

    // The name the part carries: the file's name without its folder.
    QString FileName() const;

    QString StoredPathName;
    QString ContentDisposition;
    QString ContentID;
};
