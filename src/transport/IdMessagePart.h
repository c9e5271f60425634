#pragma once

#include "transport/IdHeaderList.h"

#include <QString>

// One part of a multipart message: a text part or an attachment.
class TIdMessagePart
{
public:
    enum class Kind
    {
        Text,
        Attachment
    };

    virtual ~TIdMessagePart() = default;
    virtual Kind kind() const = 0;

    QString ContentType;
    QString ContentTransferEncoding;
    TIdHeaderList ExtraHeaders;
};
