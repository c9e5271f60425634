#include "transport/HeaderEncoder.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <optional>

namespace {

const QString utf8Charset = QStringLiteral("UTF-8");

// Characters that stand for themselves in a "Q" encoded word anywhere in a header,
// including display names (RFC 2047 section 5, rule 3); the rest is written =XX.
bool isQSafe(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!' ||
           c == '*' || c == '+' || c == '-' || c == '/';
}

QByteArray qEncode(const QByteArray& bytes)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    QByteArray encoded;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ' ') {
            encoded.append('_');
        } else if (isQSafe(c)) {
            encoded.append(c);
        } else {
            encoded.append('=');
            encoded.append(hexDigits[byte >> 4]);
            encoded.append(hexDigits[byte & 0x0f]);
        }
    }
    return encoded;
}

// Converts text into the charset; empty when the charset cannot hold every
// character (the encoder would have put "?" in their place).
std::optional<QByteArray> convert(const QString& text, const QString& charset)
{
    QStringEncoder encoder(charset.toLatin1().constData());
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    // ISO-2022-JP is stateful: every word has to end back in ASCII (RFC 1468).
    if (charset == QLatin1String("ISO-2022-JP")) {
        const qsizetype lastEscape = bytes.lastIndexOf('\x1b');
        if (lastEscape >= 0 && !bytes.mid(lastEscape).startsWith("\x1b(B"))
            bytes.append("\x1b(B");
    }
    QStringDecoder decoder(charset.toLatin1().constData());
    if (QString(decoder.decode(bytes)) != text)
        return std::nullopt;
    return bytes;
}

QString encodedWord(const QByteArray& bytes, const QString& charset, bool quotedPrintable)
{
    const QByteArray payload = quotedPrintable ? qEncode(bytes) : bytes.toBase64();
    return QStringLiteral("=?") + charset +
           (quotedPrintable ? QStringLiteral("?Q?") : QStringLiteral("?B?")) +
           QString::fromLatin1(payload) + QStringLiteral("?=");
}

// Splits text into whole characters (a surrogate pair stays together).
QStringList characters(const QString& text)
{
    QStringList result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            result.append(text.mid(i, 2));
            ++i;
        } else {
            result.append(text.mid(i, 1));
        }
    }
    return result;
}

} // namespace

THeaderEncoder::THeaderEncoder(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Chinese:
        m_charset = locale.script() == QLocale::SimplifiedHanScript ? QStringLiteral("GB2312")
                                                                    : QStringLiteral("Big5");
        break;
    case QLocale::Japanese:
        m_charset = QStringLiteral("ISO-2022-JP");
        break;
    case QLocale::Korean:
        m_charset = QStringLiteral("EUC-KR");
        break;
    default:
        m_charset = QStringLiteral("ISO-8859-1");
        m_quotedPrintable = true;
        break;
    }
}

bool THeaderEncoder::isPrintableAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 32 && c.unicode() < 127; });
}

QString THeaderEncoder::encode(const QString& text, bool always) const
{
    if (!always && isPrintableAscii(text))
        return text;

    QString charset = m_charset;
    bool quotedPrintable = m_quotedPrintable;
    if (!convert(text, charset)) {
        charset = utf8Charset;
        quotedPrintable = false;
    }

    // Each word holds whole characters, as many as fit in 75 characters
    // (RFC 2047 section 5: a character is never split across words).
    const auto bytesOf = [&](const QString& piece) {
        // UTF-8 holds everything; a lone surrogate becomes a replacement character.
        return charset == utf8Charset ? piece.toUtf8() : *convert(piece, charset);
    };
    QStringList words;
    QString pending;
    QString pendingWord;
    for (const QString& character : characters(text)) {
        const QString candidate = pending + character;
        const QString word = encodedWord(bytesOf(candidate), charset, quotedPrintable);
        if (word.size() > MaxEncodedWordLength && !pending.isEmpty()) {
            words.append(pendingWord);
            pending = character;
            pendingWord = encodedWord(bytesOf(pending), charset, quotedPrintable);
        } else {
            pending = candidate;
            pendingWord = word;
        }
    }
    if (!pending.isEmpty())
        words.append(pendingWord);
    return words.join(QLatin1Char(' '));
}
