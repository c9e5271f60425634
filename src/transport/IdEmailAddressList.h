#pragma once

#include "transport/IdEmailAddressItem.h"

#include <QList>

// An ordered list of addresses: To, Cc, Bcc and Reply-To of a message.
class TIdEmailAddressList
{
public:
    // Replaces the whole list with the addresses of a comma-separated text; commas
    // inside a double-quoted display name do not separate.
    void setText(const QString& text);

    void add(const TIdEmailAddressItem& item) { m_items.append(item); }
    void clear() { m_items.clear(); }
    bool isEmpty() const { return m_items.isEmpty(); }
    qsizetype count() const { return m_items.size(); }
    const TIdEmailAddressItem& at(qsizetype index) const { return m_items.at(index); }
    const QList<TIdEmailAddressItem>& items() const { return m_items; }

private:
    QList<TIdEmailAddressItem> m_items;
};
