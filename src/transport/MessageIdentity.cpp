#include "transport/MessageIdentity.h"

#include "transport/IdMessage.h"

#include <QRandomGenerator>

namespace MessageIdentity {

QString newSetId()
{
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QStringLiteral("%1%2")
        .arg(words[0], 16, 16, QLatin1Char('0'))
        .arg(words[1], 16, 16, QLatin1Char('0'));
}

QString domainOf(const QString& address)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    QString domain = at < 0 ? QString() : address.mid(at + 1).trimmed();
    // Only what a domain may hold goes into the identifier, so a mistyped sender
    // cannot make it unreadable.
    domain.removeIf([](QChar c) {
        return !(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('.') &&
               c != QLatin1Char('-') && c != QLatin1Char('[') && c != QLatin1Char(']') &&
               c != QLatin1Char(':');
    });
    return domain.isEmpty() ? QStringLiteral("localhost") : domain;
}

QString noteMessageId(const QString& setId, int part, int count, const QString& sender)
{
    return QStringLiteral("<%1.%2.%3@%4>").arg(setId).arg(part).arg(count).arg(domainOf(sender));
}

QString requestMessageId(const QString& sender)
{
    return QStringLiteral("<%1@%2>").arg(newSetId(), domainOf(sender));
}

void stampNote(TIdMessage& message, const QString& setId, int part, int count)
{
    message.ExtraHeaders.setValue(SetHeader, setId);
    message.ExtraHeaders.setValue(MessageIdHeader,
                                  noteMessageId(setId, part, count, message.From.Address));
}

void stampRequest(TIdMessage& message)
{
    message.ExtraHeaders.setValue(SetHeader, QString());
    message.ExtraHeaders.setValue(MessageIdHeader, requestMessageId(message.From.Address));
}

} // namespace MessageIdentity
