#include "transport/ImapCommandText.h"

#include <algorithm>

QByteArray ImapCommandText::uidSet(QList<quint32> uids)
{
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    QByteArray set;
    for (qsizetype i = 0; i < uids.size();) {
        qsizetype last = i;
        while (last + 1 < uids.size() && uids[last + 1] == uids[last] + 1)
            ++last;
        if (!set.isEmpty())
            set.append(',');
        set.append(QByteArray::number(uids[i]));
        if (last > i)
            set.append(':').append(QByteArray::number(uids[last]));
        i = last + 1;
    }
    return set;
}

bool ImapCommandText::fitsQuoted(const QByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte != 0 && byte != '\r' && byte != '\n' && byte < 0x80;
    });
}

QByteArray ImapCommandText::quoted(const QByteArray& bytes)
{
    QByteArray result("\"");
    for (const char c : bytes) {
        if (c == '"' || c == '\\')
            result.append('\\');
        result.append(c);
    }
    return result.append('"');
}

QByteArray ImapCommandText::mailboxName(const QString& name)
{
    QByteArray result;
    QString pending;
    const auto flush = [&] {
        if (pending.isEmpty())
            return;
        QByteArray utf16;
        for (const QChar c : std::as_const(pending)) {
            utf16.append(static_cast<char>(c.unicode() >> 8));
            utf16.append(static_cast<char>(c.unicode() & 0xff));
        }
        QByteArray encoded = utf16.toBase64(QByteArray::OmitTrailingEquals);
        encoded.replace('/', ',');
        result.append('&').append(encoded).append('-');
        pending.clear();
    };
    for (const QChar c : name) {
        if (c.unicode() >= 0x20 && c.unicode() <= 0x7e) {
            flush();
            result.append(c == QLatin1Char('&') ? QByteArray("&-") : QByteArray(1, c.toLatin1()));
        } else {
            pending.append(c);
        }
    }
    flush();
    return result;
}
