#pragma once

#include "transport/ImapValue.h"

#include <QByteArray>
#include <QString>

// Finds the attachment in a message's BODYSTRUCTURE (RFC 3501 section 7.4.2, RFC 9051
// section 7.5.2): the first part, in the order the message holds them, that carries
// a file name (the "filename" of its disposition, else the "name" of its type).
class ImapBodyStructure
{
public:
    struct Attachment
    {
        // Empty when the message holds no part with a file name.
        QByteArray section;
        QString fileName;
        // Lower case: "base64", "7bit", ...
        QByteArray encoding;
        qint64 encodedSize = 0;
    };

    // Throws ImapSyntaxError naming the fault when the structure is malformed.
    static Attachment findAttachment(const ImapValue& structure);
};
