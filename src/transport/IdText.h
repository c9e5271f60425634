#pragma once

#include "transport/IdMessagePart.h"

#include <QStringList>

// A text part of a multipart message.
class TIdText : public TIdMessagePart
{
public:
    Kind kind() const override { return Kind::Text; }

    QStringList Body;
};
