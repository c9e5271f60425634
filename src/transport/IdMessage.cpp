#include "transport/IdMessage.h"

#include <algorithm>

TIdAttachment& TIdMessage::addAttachment(const QString& storedPathName)
{
    auto part = std::make_unique<TIdAttachment>(storedPathName);
    TIdAttachment& attachment = *part;
    MessageParts.push_back(std::move(part));
    return attachment;
}

void TIdMessage::Clear()
{
    From.clear();
    Recipients.clear();
    CCList.clear();
    BccList.clear();
    ReplyTo.clear();
    Sender.clear();
    ReceiptRecipient.clear();
    Subject.clear();
    Organization.clear();
    References.clear();
    ContentType.clear();
    ContentTransferEncoding.clear();
    CharSet.clear();
    NewsGroups.clear();
    Body.clear();
    Date = QDateTime();
    Priority = TIdMessagePriority::Normal;
    ExtraHeaders.clear();
    MessageParts.clear();
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
