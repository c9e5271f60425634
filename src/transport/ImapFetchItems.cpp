#include "transport/ImapFetchItems.h"

#include "transport/HeaderDecoder.h"
#include "transport/ImapBodyStructure.h"

#include <QRegularExpression>

QString ImapFetchItems::setId(const QByteArray& headerFields)
{
    static const QRegularExpression marked(QStringLiteral("^[0-9a-f]{32}$"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression messageId(QStringLiteral("<([0-9a-f]{32})\\.\\d+\\.\\d+@"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QString set = QString::fromLatin1(HeaderDecoder::field(headerFields, "X-Kestrel-Set"));
    if (marked.match(set).hasMatch())
        return set.toLower();
    const QRegularExpressionMatch match =
        messageId.match(QString::fromLatin1(HeaderDecoder::field(headerFields, "Message-ID")));
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

MailboxNote ImapFetchItems::note(const ImapValue& items, bool* hasStructure)
{
    if (!items.isList() || items.items.size() % 2 != 0)
        throw ImapSyntaxError(QStringLiteral("a FETCH reply is not a list of items"));
    MailboxNote note;
    QDateTime arrived;
    const ImapValue* structure = nullptr;
    for (qsizetype i = 0; i < items.items.size(); i += 2) {
        const ImapValue& name = items.items[i];
        const ImapValue& value = items.items[i + 1];
        if (name.isAtom("UID")) {
            const std::optional<qint64> uid = value.number();
            if (!uid || *uid == 0 || *uid > 0xffffffffLL)
                throw ImapSyntaxError(QStringLiteral("a UID is not a number"));
            note.uid = static_cast<quint32>(*uid);
        } else if (name.isAtom("RFC822.SIZE")) {
            note.messageSize = value.number().value_or(0);
        } else if (name.isAtom("INTERNALDATE")) {
            arrived = HeaderDecoder::internalDate(value.text);
        } else if (name.isAtom("BODYSTRUCTURE")) {
            structure = &value;
        } else if (name.kind == ImapValue::Kind::Atom &&
                   name.text.toUpper().startsWith("BODY[HEADER.FIELDS")) {
            note.subject = HeaderDecoder::text(HeaderDecoder::field(value.text, "Subject"));
            note.date = HeaderDecoder::date(HeaderDecoder::field(value.text, "Date"));
            note.setId = setId(value.text);
        }
    }
    // The server's arrival date stands in for a missing or unreadable Date.
    if (!note.date.isValid())
        note.date = arrived;
    if (hasStructure)
        *hasStructure = structure != nullptr;
    if (structure) {
        const ImapBodyStructure::Attachment attachment =
            ImapBodyStructure::findAttachment(*structure);
        note.attachmentName = attachment.fileName;
        note.attachmentSection = attachment.section;
        note.attachmentEncoding = attachment.encoding;
        note.attachmentEncodedSize = attachment.encodedSize;
    }
    return note;
}
