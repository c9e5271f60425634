#include "transport/IdMessageWriter.h"

#include "core/KestrelError.h"
#include "transport/IdMessage.h"

#include <QRegularExpression>

const QString TIdMessageWriter::MixedBoundary =
    QStringLiteral("=_NextPart_2rfkindysadvnqw3nerasdf");
const QString TIdMessageWriter::RelatedBoundary =
    QStringLiteral("=_NextPart_2relrfksadvnqindyw3nerasdf");
const QString TIdMessageWriter::AlternativeBoundary =
    QStringLiteral("=_NextPart_2altrfkindysadvnqw3nerasdf");

namespace {

const QString eightSpaces = QStringLiteral("        ");

bool hasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 32 || c.unicode() == 127; });
}

// Structured header values cannot be encoded: one holding a line break would
// start a header line of its own, so it is refused.
void checkValue(const QString& name, const QString& value)
{
    if (hasControlCharacter(name) || name.contains(QLatin1Char(':')) ||
        hasControlCharacter(value)) {
        throw KestrelError(QStringLiteral("The mail header \"%1\" holds a line break or another "
                                          "control character and cannot be sent.")
                               .arg(name.simplified()));
    }
}

QString quoted(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QList<QByteArray> splitBodyLine(const QString& line)
{
    // A line break inside a body line becomes a line of its own, so that no bare CR
    // or LF reaches the wire (RFC 5322 section 2.3).
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QList<QByteArray> lines;
    for (const QString& piece : line.split(lineBreak))
        lines.append(piece.toUtf8());
    return lines;
}

// Characters that stand for themselves in an RFC 2231 value (attribute-char: no
// blank, "*", "'", "%" or tspecial); the rest is written %XX.
bool isAttributeChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArray("!#$&+-.^_`{|}~").contains(c);
}

// The name with every character outside printable ASCII as "_".
QString asciiStandIn(const QString& name)
{
    QString standIn;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            ++i;
        standIn += c.unicode() >= 32 && c.unicode() < 127 ? c : QLatin1Char('_');
    }
    return standIn;
}

// attribute*=UTF-8''<value> (RFC 2231 sections 3 and 4), in numbered pieces short
// enough to keep each header line within 78 characters when the value is long.
QStringList extendedParameter(const QString& attribute, const QString& value)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    QStringList escapes;
    for (const char c : value.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        escapes << (isAttributeChar(c) ? QString(QLatin1Char(c))
                                       : QStringLiteral("%") + QLatin1Char(hexDigits[byte >> 4]) +
                                             QLatin1Char(hexDigits[byte & 0x0f]));
    }
    const QString charset = QStringLiteral("UTF-8''");
    constexpr qsizetype pieceLength = 50;
    const QString whole = escapes.join(QString());
    if (whole.size() <= pieceLength)
        return {attribute + QStringLiteral("*=") + charset + whole};
    QStringList pieces;
    QString piece;
    for (const QString& escape : std::as_const(escapes)) {
        if (piece.size() + escape.size() > pieceLength) {
            pieces << piece;
            piece.clear();
        }
        piece += escape;
    }
    pieces << piece;
    for (qsizetype i = 0; i < pieces.size(); ++i)
        pieces[i] = QStringLiteral("%1*%2*=%3%4")
                        .arg(attribute)
                        .arg(i)
                        .arg(i == 0 ? charset : QString(), pieces[i]);
    return pieces;
}

int priorityNumber(TIdMessagePriority priority)
{
    return static_cast<int>(priority) + 1;
}

} // namespace

TIdMessageWriter::TIdMessageWriter(const TIdMessage& message, const QLocale& locale)
    : m_message(message), m_encoder(locale), m_now(QDateTime::currentDateTime())
{}

TIdMessageWriter::~TIdMessageWriter() = default;

QString TIdMessageWriter::dateText(const QDateTime& dateTime)
{
    const int offsetMinutes = dateTime.offsetFromUtc() / 60;
    const int absolute = std::abs(offsetMinutes);
    return QLocale::c().toString(dateTime, QStringLiteral("ddd, d MMM yyyy hh:mm:ss")) +
           QStringLiteral(" %1%2%3")
               .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(absolute / 60, 2, 10, QLatin1Char('0'))
               .arg(absolute % 60, 2, 10, QLatin1Char('0'));
}

qint64 TIdMessageWriter::base64Size(qint64 fileSize)
{
    const qint64 fullLines = fileSize / Base64BlockSize;
    const qint64 rest = fileSize % Base64BlockSize;
    return fullLines * 78 + (rest > 0 ? (rest + 2) / 3 * 4 + 2 : 0);
}

QString TIdMessageWriter::addressText(const QString& name, const QString& address) const
{
    TIdEmailAddressItem(name, address).checkAddress();
    if (name.isEmpty())
        return address;
    const QString shownName =
        THeaderEncoder::isPrintableAscii(name) ? quoted(name) : m_encoder.encode(name);
    return shownName + QStringLiteral(" <") + address + QLatin1Char('>');
}

QString TIdMessageWriter::contentTypeValue() const
{
    const bool hasContentId = std::any_of(
        m_message.MessageParts.begin(), m_message.MessageParts.end(), [](const auto& part) {
            return part->kind() == TIdMessagePart::Kind::Attachment &&
                   !static_cast<const TIdAttachment&>(*part).ContentID.isEmpty();
        });
    QString type;
    if (hasContentId) {
        type = QStringLiteral("multipart/related; type=\"multipart/alternative\"; boundary=\"") +
               RelatedBoundary + QLatin1Char('"');
    } else if (m_message.hasAttachments()) {
        type = QStringLiteral("multipart/mixed; boundary=\"") + MixedBoundary + QLatin1Char('"');
    } else if (m_message.textPartCount() > 0) {
        type =
            QStringLiteral("multipart/alternative; boundary=\"") + MixedBoundary + QLatin1Char('"');
    } else {
        type = m_message.ContentType;
    }
    if (type.isEmpty())
        return type;
    type += QLatin1Char(';');
    if (!m_message.CharSet.isEmpty())
        type += QStringLiteral(" charset=") + m_message.CharSet;
    return type;
}

QList<QByteArray> TIdMessageWriter::headerLines() const
{
    const auto addressList = [this](const TIdEmailAddressList& list) {
        QStringList texts;
        for (const TIdEmailAddressItem& item : list.items())
            texts.append(addressText(item.Name, item.Address));
        return texts.join(QStringLiteral(", "));
    };
    // A long unbroken text (a deep path without blanks) would make a line longer than
    // the 998 characters a mail line may hold (RFC 5322 section 2.1.1); as encoded
    // words it can be folded.
    const auto unstructured = [this](const QString& name, const QString& text) {
        const QString value = m_encoder.encode(text);
        const QStringList folded = TIdHeaderList::fold(name + QStringLiteral(": ") + value);
        const bool tooLong = std::any_of(folded.begin(), folded.end(), [](const QString& line) {
            return line.size() > MaxLineLength;
        });
        return tooLong ? m_encoder.encode(text, true) : value;
    };
    const auto structured = [](const QString& name, const QString& value) {
        checkValue(name, value);
        return value;
    };

    const QList<QPair<QString, QString>> headers = {
        {QStringLiteral("From"), addressText(m_message.From.Name, m_message.From.Address)},
        {QStringLiteral("Subject"), unstructured(QStringLiteral("Subject"), m_message.Subject)},
        {QStringLiteral("To"), addressList(m_message.Recipients)},
        {QStringLiteral("Cc"), addressList(m_message.CCList)},
        {QStringLiteral("Newsgroups"),
         structured(QStringLiteral("Newsgroups"), m_message.NewsGroups.join(QLatin1Char(',')))},
        {QStringLiteral("Content-Type"),
         structured(QStringLiteral("Content-Type"), contentTypeValue())},
        {QStringLiteral("MIME-Version"),
         m_message.MessageParts.empty() ? QString() : QStringLiteral("1.0")},
        {QStringLiteral("Content-Transfer-Encoding"),
         structured(QStringLiteral("Content-Transfer-Encoding"),
                    m_message.ContentTransferEncoding)},
        {QStringLiteral("Sender"), addressText(m_message.Sender.Name, m_message.Sender.Address)},
        {QStringLiteral("Reply-To"), addressList(m_message.ReplyTo)},
        {QStringLiteral("Organization"),
         unstructured(QStringLiteral("Organization"), m_message.Organization)},
        {QStringLiteral("Disposition-Notification-To"),
         addressText(m_message.ReceiptRecipient.Name, m_message.ReceiptRecipient.Address)},
        {QStringLiteral("References"),
         structured(QStringLiteral("References"), m_message.References)},
        {QStringLiteral("Date"), dateText(m_message.Date.isValid() ? m_message.Date : m_now)},
        {QStringLiteral("X-Priority"), QString::number(priorityNumber(m_message.Priority))},
        {QStringLiteral("X-Library"), QStringLiteral("Indy 8.0.22")},
    };

    QList<QByteArray> lines;
    const auto addLine = [&lines](const QString& name, const QString& value) {
        if (value.isEmpty())
            return;
        for (const QString& line : TIdHeaderList::fold(name + QStringLiteral(": ") + value))
            lines.append(line.toUtf8());
    };
    for (const auto& [name, value] : headers)
        addLine(name, value);
    for (const TIdHeaderList::Line& line : m_message.ExtraHeaders.lines())
        addLine(line.name, structured(line.name, line.value));
    return lines;
}

void TIdMessageWriter::prepare()
{
    headerLines();
    m_files.clear();
    m_lengths.clear();
    for (const auto& part : m_message.MessageParts) {
        checkValue(QStringLiteral("Content-Type"), part->ContentType);
        checkValue(QStringLiteral("Content-Transfer-Encoding"), part->ContentTransferEncoding);
        for (const TIdHeaderList::Line& line : part->ExtraHeaders.lines())
            checkValue(line.name, line.value);
        if (part->kind() != TIdMessagePart::Kind::Attachment) {
            m_files.push_back(nullptr);
            m_lengths.push_back(0);
            continue;
        }
        const auto& attachment = static_cast<const TIdAttachment&>(*part);
        checkValue(QStringLiteral("Content-Disposition"), attachment.ContentDisposition);
        checkValue(QStringLiteral("Content-ID"), attachment.ContentID);
        auto file = std::make_unique<QFile>(attachment.StoredPathName);
        if (!file->open(QIODevice::ReadOnly)) {
            throw KestrelError(QStringLiteral("Could not read the file \"%1\" to attach it: %2")
                                   .arg(attachment.StoredPathName, file->errorString()));
        }
        const qint64 end =
            attachment.Length < 0 ? file->size() : attachment.Offset + attachment.Length;
        if (attachment.Offset < 0 || attachment.Offset > end || end > file->size()) {
            throw KestrelError(QStringLiteral("The file \"%1\" has %2 bytes, too few for the "
                                              "part of it to be attached.")
                                   .arg(attachment.StoredPathName)
                                   .arg(file->size()));
        }
        m_files.push_back(std::move(file));
        m_lengths.push_back(end - attachment.Offset);
    }
    m_prepared = true;
}

qint64 TIdMessageWriter::size()
{
    if (!m_prepared)
        prepare();
    qint64 total = 0;
    const LineSink count = [&total](const QByteArray& line) {
        total += line.size() + 2;
    };
    for (const QByteArray& line : headerLines())
        count(line);
    count({});
    writeBody(count, [&](std::size_t index) { total += base64Size(m_lengths[index]); });
    return total;
}

void TIdMessageWriter::write(const LineSink& sink)
{
    if (!m_prepared)
        prepare();
    for (const QByteArray& line : headerLines())
        sink(line);
    sink({});
    writeBody(sink, [&](std::size_t index) { streamAttachment(sink, index); });
}

void TIdMessageWriter::writeBody(const LineSink& sink,
                                 const std::function<void(std::size_t)>& writeContent)
{
    if (m_message.MessageParts.empty()) {
        for (const QString& line : m_message.Body) {
            for (const QByteArray& piece : splitBodyLine(line))
                sink(piece);
        }
        return;
    }

    const bool related = contentTypeValue().startsWith(QLatin1String("multipart/related"));
    const QByteArray boundary =
        QByteArray("--") + (related ? RelatedBoundary : MixedBoundary).toLatin1();
    sink("This is a multi-part message in MIME format");
    sink({});
    sink(boundary);
    if (m_message.textPartCount() < 2) {
        sink("Content-Type: text/plain");
        sink("Content-Transfer-Encoding: 7bit");
        sink({});
        for (const QString& line : m_message.Body) {
            for (const QByteArray& piece : splitBodyLine(line))
                sink(piece);
        }
    } else {
        const QByteArray alternative = QByteArray("--") + AlternativeBoundary.toLatin1();
        sink("Content-Type: multipart/alternative; ");
        sink((eightSpaces + QStringLiteral("boundary=\"") + AlternativeBoundary + QLatin1Char('"'))
                 .toLatin1());
        sink({});
        for (const auto& part : m_message.MessageParts) {
            if (part->kind() != TIdMessagePart::Kind::Text)
                continue;
            sink(alternative);
            sink(QByteArray("Content-Type: ") +
                 (part->ContentType.isEmpty() ? QStringLiteral("text/plain") : part->ContentType)
                     .toUtf8());
            sink({});
            for (const QString& line : static_cast<const TIdText&>(*part).Body) {
                for (const QByteArray& piece : splitBodyLine(line))
                    sink(piece);
            }
        }
        sink(alternative + "--");
    }
    for (std::size_t index = 0; index < m_message.MessageParts.size(); ++index) {
        const TIdMessagePart& part = *m_message.MessageParts[index];
        if (part.kind() != TIdMessagePart::Kind::Attachment)
            continue;
        sink({});
        sink(boundary);
        writePartHeaders(sink, static_cast<const TIdAttachment&>(part));
        writeContent(index);
        sink({});
    }
    sink(boundary + "--");
}

void TIdMessageWriter::writePartHeaders(const LineSink& sink, const TIdAttachment& attachment) const
{
    const QString encoding = attachment.ContentTransferEncoding.isEmpty()
                                 ? QStringLiteral("base64")
                                 : attachment.ContentTransferEncoding;
    const QString disposition = attachment.ContentDisposition.isEmpty()
                                    ? QStringLiteral("attachment")
                                    : attachment.ContentDisposition;
    QString type = attachment.ContentType;
    if (type.isEmpty() && encoding.compare(QLatin1String("base64"), Qt::CaseInsensitive) == 0)
        type = QStringLiteral("application/octet-stream");
    // A Linux file name may hold quotes, line breaks or any other character: a plain
    // printable name is quoted; any other goes as RFC 2231 parameters beside a plain
    // ASCII stand-in for readers that know only the quoted form.
    const QString fileName = attachment.FileName();
    const auto parameterLines = [&fileName](const QString& attribute) {
        QStringList lines;
        if (THeaderEncoder::isPrintableAscii(fileName)) {
            lines << eightSpaces + attribute + QLatin1Char('=') + quoted(fileName);
        } else {
            lines << eightSpaces + attribute + QLatin1Char('=') + quoted(asciiStandIn(fileName)) +
                         QLatin1Char(';');
            for (const QString& piece : extendedParameter(attribute, fileName))
                lines << eightSpaces + piece + QLatin1Char(';');
            lines.last().chop(1);
        }
        return lines;
    };

    sink((QStringLiteral("Content-Type: ") + type + QLatin1Char(';')).toUtf8());
    for (const QString& line : parameterLines(QStringLiteral("name")))
        sink(line.toUtf8());
    sink((QStringLiteral("Content-Transfer-Encoding: ") + encoding).toUtf8());
    sink((QStringLiteral("Content-Disposition: ") + disposition + QLatin1Char(';')).toUtf8());
    for (const QString& line : parameterLines(QStringLiteral("filename")))
        sink(line.toUtf8());
    if (!attachment.ContentID.isEmpty())
        sink((QStringLiteral("Content-ID: ") + attachment.ContentID).toUtf8());
    for (const TIdHeaderList::Line& line : attachment.ExtraHeaders.lines())
        sink((line.name + QStringLiteral(": ") + line.value).toUtf8());
    sink({});
}

void TIdMessageWriter::streamAttachment(const LineSink& sink, std::size_t index)
{
    QFile& file = *m_files[index];
    const auto& attachment = static_cast<const TIdAttachment&>(*m_message.MessageParts[index]);
    qint64 remaining = m_lengths[index];
    if (!file.seek(attachment.Offset)) {
        throw KestrelError(QStringLiteral("Could not read the file \"%1\" while sending it: %2")
                               .arg(file.fileName(), file.errorString()));
    }
    // Reading many 57-byte blocks at once keeps the system calls few; each block
    // still becomes one line of 76 characters (RFC 2045 section 6.8).
    constexpr qint64 blocksPerRead = 1024;
    QByteArray buffer(Base64BlockSize * blocksPerRead, Qt::Uninitialized);
    bool atEnd = remaining == 0;
    while (!atEnd) {
        // Fill the buffer completely, so that only the very last line is short.
        qint64 filled = 0;
        const qint64 wanted = qMin<qint64>(buffer.size(), remaining);
        while (filled < wanted) {
            const qint64 read = file.read(buffer.data() + filled, wanted - filled);
            if (read < 0) {
                throw KestrelError(
                    QStringLiteral("Could not read the file \"%1\" while sending it: %2")
                        .arg(file.fileName(), file.errorString()));
            }
            // A message cut short would still look whole to the server, and the
            // archive in it would not open.
            if (read == 0) {
                throw KestrelError(
                    QStringLiteral("The file \"%1\" became shorter while it was being sent.")
                        .arg(file.fileName()));
            }
            filled += read;
        }
        remaining -= filled;
        atEnd = remaining == 0;
        // 57 bytes give exactly 76 characters, so the buffer is encoded in one go and
        // handed out in lines; only the last line of the file can be shorter.
        const QByteArray encoded = QByteArray::fromRawData(buffer.constData(), filled).toBase64();
        constexpr qsizetype lineLength = Base64BlockSize / 3 * 4;
        for (qsizetype offset = 0; offset < encoded.size(); offset += lineLength) {
            sink(QByteArray::fromRawData(encoded.constData() + offset,
                                         qMin(lineLength, encoded.size() - offset)));
        }
    }
}
