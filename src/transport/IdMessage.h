#pragma once

#include "transport/IdAttachment.h"
#include "transport/IdEmailAddressItem.h"
#include "transport/IdEmailAddressList.h"
#include "transport/IdHeaderList.h"
#include "transport/IdText.h"

#include <QDateTime>
#include <QStringList>

#include <memory>
#include <vector>

enum class TIdMessagePriority
{
    Highest,
    High,
    Normal,
    Low,
    Lowest
};

// The message component: one e-mail with its header fields, body lines and parts.
// The main window keeps one (EMSMessage) and refills it for every save note and
// request; its wire layout is written by TIdMessageWriter.
class TIdMessage
{
public:
    TIdMessage() = default;
    TIdMessage(const TIdMessage&) = delete;
    TIdMessage& operator=(const TIdMessage&) = delete;

    TIdEmailAddressItem From;
    TIdEmailAddressList Recipients;
    TIdEmailAddressList CCList;
    TIdEmailAddressList BccList;
    TIdEmailAddressList ReplyTo;
    TIdEmailAddressItem Sender;
    TIdEmailAddressItem ReceiptRecipient;
    QString Subject;
    QString Organization;
    QString References;
    QString ContentType;
    QString ContentTransferEncoding;
    QString CharSet;
    QStringList NewsGroups;
    QStringList Body;
    // An invalid date stands for the moment the header is made.
    QDateTime Date;
    TIdMessagePriority Priority = TIdMessagePriority::Normal;
    TIdHeaderList ExtraHeaders;
    std::vector<std::unique_ptr<TIdMessagePart>> MessageParts;

    // Adds an attachment part for a file and returns it.
    TIdAttachment& addAttachment(const QString& storedPathName);
    // Removes every part.
    void clearParts() { MessageParts.clear(); }

    bool hasAttachments() const;
    qsizetype textPartCount() const;
};
