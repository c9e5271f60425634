#include "core/TerminalText.h"

namespace {

bool reordersText(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString escaped(const QString& text, bool keepLineBreaks)
{
    QString result;
    result.reserve(text.size());
    for (const QChar character : text) {
        const char16_t c = character.unicode();
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        if ((c == u'\n' && keepLineBreaks) || c == u'\t' || (!control && !reordersText(c))) {
            result.append(character);
            continue;
        }
        const int digits = c <= 0xFF ? 2 : 4;
        result.append(c <= 0xFF ? QStringLiteral("\\x") : QStringLiteral("\\u"));
        result.append(QString::number(c, 16).rightJustified(digits, QLatin1Char('0')).toUpper());
    }
    return result;
}

} // namespace

QString terminalLine(const QString& text)
{
    return escaped(text, false);
}

QString terminalText(const QString& text)
{
    return escaped(text, true);
}
