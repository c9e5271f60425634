#include "transport/HeaderDecoder.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimeZone>

#include <map>
#include <optional>

namespace {

QString rawText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// Bytes in the named charset as text; nullopt when the system knows no such charset.
std::optional<QString> inCharset(const QByteArray& bytes, QByteArray charset)
{
    // RFC 2231 section 5 lets a language follow the charset: "UTF-8*en".
    const qsizetype star = charset.indexOf('*');
    if (star >= 0)
        charset.truncate(star);
    if (charset.compare("us-ascii", Qt::CaseInsensitive) == 0)
        return rawText(bytes);
    QStringDecoder decoder(charset.constData());
    if (!decoder.isValid())
        return std::nullopt;
    return QString(decoder.decode(bytes));
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "=XX" escapes (and, with underscores set, "_" for a blank); nullopt on a malformed one.
std::optional<QByteArray> unescape(const QByteArray& text, char escape, bool underscores)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == escape) {
            const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes.append(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (c == '_' && underscores) {
            bytes.append(' ');
        } else {
            bytes.append(c);
        }
    }
    return bytes;
}

std::optional<QByteArray> wordBytes(const QByteArray& encoding, const QByteArray& payload)
{
    if (encoding.compare("Q", Qt::CaseInsensitive) == 0)
        return unescape(payload, '=', true);
    const auto decoded =
        QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return decoded.decoded;
}

int monthOf(const QByteArray& name)
{
    static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i) {
        if (name.compare(months[i], Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

// The zone's offset in seconds; nullopt when it is no zone. Military letters and
// unknown names count as UTC, as RFC 5322 section 4.3 says to.
std::optional<int> zoneOffset(const QByteArray& zone)
{
    if ((zone.startsWith('+') || zone.startsWith('-')) && zone.size() == 5) {
        bool ok = false;
        const int value = zone.mid(1).toInt(&ok);
        if (!ok || value % 100 >= 60)
            return std::nullopt;
        const int seconds = (value / 100 * 60 + value % 100) * 60;
        return zone.startsWith('-') ? -seconds : seconds;
    }
    static const std::map<QByteArray, int> named = {
        {"UT", 0},   {"UTC", 0},  {"GMT", 0},  {"EST", -5}, {"EDT", -4}, {"CST", -6},
        {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    const auto found = named.find(zone.toUpper());
    if (found != named.end())
        return found->second * 3600;
    for (const char c : zone) {
        if (!QChar::isLetter(static_cast<uchar>(c)))
            return std::nullopt;
    }
    return 0;
}

QByteArray withoutComments(const QByteArray& raw)
{
    QByteArray result;
    int depth = 0;
    for (const char c : raw) {
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        else if (depth == 0)
            result.append(c);
    }
    return result;
}

} // namespace

QByteArray HeaderDecoder::field(const QByteArray& header, const QByteArray& name)
{
    const QList<QByteArray> lines = header.split('\n');
    QByteArray value;
    bool inField = false;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const bool continuation = line.startsWith(' ') || line.startsWith('\t');
        if (inField) {
            if (!continuation)
                break;
            // Unfolding removes the line break only; the blank stays.
            value.append(line);
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (!continuation && colon > 0 &&
            line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            value = line.mid(colon + 1);
            inField = true;
        }
    }
    return value.trimmed();
}

QString HeaderDecoder::text(const QByteArray& raw)
{
    static const QRegularExpression encodedWord(
        QStringLiteral(R"(=\?([^?\s]+)\?([BbQq])\?([^?\s]*)\?=)"));
    // Latin-1 text keeps byte and character positions the same.
    const QString latin = QString::fromLatin1(raw);
    QString result;
    qsizetype position = 0;
    // Adjacent words in one charset are joined before decoding: a mail program may
    // split one character's bytes across two words.
    QByteArray pendingBytes;
    QByteArray pendingCharset;
    QByteArray pendingWords;
    const auto flush = [&] {
        if (pendingCharset.isEmpty())
            return;
        const std::optional<QString> decoded = inCharset(pendingBytes, pendingCharset);
        result += decoded ? *decoded : rawText(pendingWords);
        pendingBytes.clear();
        pendingCharset.clear();
        pendingWords.clear();
    };
    auto matches = encodedWord.globalMatch(latin);
    while (matches.hasNext()) {
        const QRegularExpressionMatch word = matches.next();
        const std::optional<QByteArray> bytes =
            wordBytes(word.captured(2).toLatin1(), word.captured(3).toLatin1());
        // A malformed word stays in the text as it is.
        if (!bytes)
            continue;
        const QByteArray charset = word.captured(1).toLatin1();
        const QByteArray between = raw.mid(position, word.capturedStart() - position);
        // Blanks between two encoded words are dropped (RFC 2047 section 6.2).
        const bool joinsPrevious = !pendingCharset.isEmpty() && between.trimmed().isEmpty();
        if (!joinsPrevious) {
            flush();
            result += rawText(between);
        } else if (pendingCharset.compare(charset, Qt::CaseInsensitive) != 0) {
            flush();
        }
        pendingCharset = charset;
        pendingBytes += *bytes;
        pendingWords += word.captured(0).toLatin1();
        position = word.capturedEnd();
    }
    flush();
    result += rawText(raw.mid(position));
    return result;
}

QDateTime HeaderDecoder::date(const QByteArray& raw)
{
    const QByteArray simplified = withoutComments(raw).replace(',', ' ').simplified();
    QList<QByteArray> tokens = simplified.isEmpty() ? QList<QByteArray>() : simplified.split(' ');
    // The day of the week is optional and tells nothing the date does not.
    if (!tokens.isEmpty() && !tokens.first().isEmpty() && !QChar::isDigit(tokens.first()[0]))
        tokens.removeFirst();
    if (tokens.size() < 4)
        return {};
    bool dayOk = false;
    bool yearOk = false;
    const int day = tokens[0].toInt(&dayOk);
    const int month = monthOf(tokens[1]);
    int year = tokens[2].toInt(&yearOk);
    if (!dayOk || !yearOk || month == 0 || year < 0)
        return {};
    // Obsolete two- and three-digit years (RFC 5322 section 4.3).
    if (tokens[2].size() == 2)
        year += year < 50 ? 2000 : 1900;
    else if (tokens[2].size() == 3)
        year += 1900;
    const QList<QByteArray> clock = tokens[3].split(':');
    if (clock.size() < 2 || clock.size() > 3)
        return {};
    int parts[3] = {0, 0, 0};
    for (qsizetype i = 0; i < clock.size(); ++i) {
        bool ok = false;
        parts[i] = clock[i].toInt(&ok);
        if (!ok || clock[i].size() > 2)
            return {};
    }
    const std::optional<int> offset = tokens.size() > 4 ? zoneOffset(tokens[4]) : 0;
    const QDate calendarDate(year, month, day);
    const QTime time(parts[0], parts[1], parts[2]);
    if (!offset || !calendarDate.isValid() || !time.isValid())
        return {};
    return QDateTime(calendarDate, time, QTimeZone(*offset));
}

QDateTime HeaderDecoder::internalDate(const QByteArray& raw)
{
    // "dd-Mon-yyyy hh:mm:ss +zzzz": the date's dashes are the only difference.
    QByteArray text = raw.trimmed();
    const qsizetype blank = text.indexOf(' ');
    if (blank < 0)
        return {};
    text.replace(0, blank, text.left(blank).replace('-', ' '));
    return date(text);
}

QString HeaderDecoder::parameter(const Parameters& parameters, const QByteArray& name)
{
    const QByteArray lower = name.toLower();
    std::map<int, QPair<QByteArray, bool>> pieces;
    std::optional<QByteArray> plain;
    for (const auto& [key, value] : parameters) {
        const QByteArray lowerKey = key.toLower();
        // A plain value beside the RFC 2231 form is the fallback for readers that
        // know only the plain one; the other form is the exact name.
        if (lowerKey == lower) {
            if (!plain)
                plain = value;
            continue;
        }
        if (lowerKey == lower + '*') {
            pieces[0] = {value, true};
            continue;
        }
        // Continuations "name*0", "name*1*", ... (RFC 2231 section 3).
        if (!lowerKey.startsWith(lower + '*'))
            continue;
        QByteArray index = lowerKey.mid(lower.size() + 1);
        const bool encoded = index.endsWith('*');
        if (encoded)
            index.chop(1);
        bool ok = false;
        const int number = index.toInt(&ok);
        if (ok && number >= 0 && number < 1000)
            pieces[number] = {value, encoded};
    }
    if (pieces.empty())
        return plain ? text(*plain) : QString();
    QByteArray charset;
    QByteArray bytes;
    for (auto& [number, piece] : pieces) {
        QByteArray value = piece.first;
        if (piece.second) {
            // The first encoded piece starts with charset'language'.
            if (number == pieces.begin()->first) {
                const qsizetype first = value.indexOf('\'');
                const qsizetype second = first < 0 ? -1 : value.indexOf('\'', first + 1);
                if (second > 0) {
                    charset = value.left(first);
                    value = value.mid(second + 1);
                }
            }
            value = unescape(value, '%', false).value_or(value);
        }
        bytes += value;
    }
    if (charset.isEmpty())
        return rawText(bytes);
    return inCharset(bytes, charset).value_or(rawText(bytes));
}
