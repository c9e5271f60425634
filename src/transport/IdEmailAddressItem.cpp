#include "transport/IdEmailAddressItem.h"

#include "core/KestrelError.h"

namespace {

bool isQuotedBy(const QString& text, QChar quote)
{
    return text.size() >= 2 && text.front() == quote && text.back() == quote;
}

} // namespace

TIdEmailAddressItem::TIdEmailAddressItem(const QString& name, const QString& address)
    : Name(name), Address(address)
{}

void TIdEmailAddressItem::setText(const QString& text)
{
    const QString trimmed = text.trimmed();
    Name.clear();
    Address.clear();
    if (trimmed.endsWith(QLatin1Char('>'))) {
        const qsizetype open = trimmed.indexOf(QLatin1Char('<'));
        const qsizetype start = open < 0 ? 0 : open + 1;
        Address = trimmed.mid(start, trimmed.size() - 1 - start).trimmed();
        if (open > 0)
            Name = trimmed.left(open).trimmed();
    } else if (trimmed.endsWith(QLatin1Char(')'))) {
        const qsizetype open = trimmed.indexOf(QLatin1Char('('));
        if (open >= 0) {
            Address = trimmed.left(open).trimmed();
            Name = trimmed.mid(open + 1, trimmed.size() - open - 2).trimmed();
        }
    } else {
        Address = trimmed;
    }
    while (isQuotedBy(Name, QLatin1Char('"')) || isQuotedBy(Name, QLatin1Char('\'')))
        Name = Name.mid(1, Name.size() - 2);
}

void TIdEmailAddressItem::clear()
{
    Name.clear();
    Address.clear();
}

void TIdEmailAddressItem::checkAddress() const
{
    QString shown;
    bool unsafe = false;
    for (const QChar c : Address) {
        if (c.unicode() < 32 || c.unicode() == 127) {
            unsafe = true;
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    if (unsafe) {
        throw KestrelError(
            QStringLiteral("The e-mail address \"%1\" holds a line break or another control "
                           "character and cannot be used.")
                .arg(shown));
    }
}
