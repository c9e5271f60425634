#include "restore/ZipEntryFields.h"

#include "restore/ZipFields.h"

namespace ZipEntryFields {

using ZipFields::read16;
using ZipFields::read32;
using ZipFields::read64;

std::optional<QByteArray> extraField(const QByteArray& extra, quint16 id)
{
    for (qsizetype at = 0; at + 4 <= extra.size();) {
        const qsizetype length = read16(extra, at + 2);
        if (at + 4 + length > extra.size())
            break;
        if (read16(extra, at) == id)
            return extra.mid(at + 4, length);
        at += 4 + length;
    }
    return std::nullopt;
}

bool widen(const QByteArray& extra, std::initializer_list<quint64*> fields)
{
    const std::optional<QByteArray> wide = extraField(extra, 0x0001);
    qsizetype at = 0;
    for (quint64* field : fields) {
        if (*field != Unknown32)
            continue;
        if (!wide || at + 8 > wide->size())
            return false;
        *field = read64(*wide, at);
        at += 8;
    }
    return true;
}

std::optional<QDateTime> extendedTime(const QByteArray& extra)
{
    const std::optional<QByteArray> field = extraField(extra, 0x5455);
    if (!field || field->size() < 5 || (field->at(0) & 0x01) == 0)
        return std::nullopt;
    return QDateTime::fromSecsSinceEpoch(static_cast<qint32>(read32(*field, 1)));
}

QString entryName(const QByteArray& raw, bool utf8)
{
    static const QString upperHalf = QStringLiteral(
        "ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙"
        "╘╒╓╫╪┘┌█▄▌▐▀αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0");
    if (utf8)
        return QString::fromUtf8(raw);
    QString name;
    name.reserve(raw.size());
    for (const char byte : raw) {
        const auto code = static_cast<quint8>(byte);
        name.append(code < 0x80 ? QChar(char16_t(code)) : upperHalf.at(code - 0x80));
    }
    return name;
}

bool isPlainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.contains(QChar(0));
}

} // namespace ZipEntryFields
