#include "transport/IdMessage.h"

#include <algorithm>

TIdAttachment& TIdMessage::addAttachment(const QString& storedPathName)
{
    auto part = std::make_unique<TIdAttachment>(storedPathName);
    TIdAttachment& attachment = *part;
    MessageParts.push_back(std::move(part));
    return attachment;
}

bool TIdMessage::hasAttachments() const
{
    return std::any_of(MessageParts.begin(), MessageParts.end(), [](const auto& part) {
        return part->kind() == TIdMessagePart::Kind::Attachment;
    });
}

qsizetype TIdMessage::textPartCount() const
{
    return std::count_if(MessageParts.begin(), MessageParts.end(), [](const auto& part) {
        return part->kind() == TIdMessagePart::Kind::Text;
    });
}
