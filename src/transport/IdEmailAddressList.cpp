#include "transport/IdEmailAddressList.h"

void TIdEmailAddressList::setText(const QString& text)
{
    m_items.clear();
    QString piece;
    bool inQuotes = false;
    const auto takePiece = [&] {
        const QString trimmed = piece.trimmed();
        if (!trimmed.isEmpty()) {
            TIdEmailAddressItem item;
            item.setText(trimmed);
            m_items.append(item);
        }
        piece.clear();
    };
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            inQuotes = !inQuotes;
        if (c == QLatin1Char(',') && !inQuotes)
            takePiece();
        else
            piece.append(c);
    }
    takePiece();
}
