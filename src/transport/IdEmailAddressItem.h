#pragma once

#include <QString>

// One e-mail address with its optional display name, as the message's sender, a
// list element, the Sender or the receipt recipient.
class TIdEmailAddressItem
{
public:
    TIdEmailAddressItem() = default;
    TIdEmailAddressItem(const QString& name, const QString& address);

    QString Name;
    QString Address;

    // Replaces name and address with those parsed from a text such as
    // "Jo Bloggs <jo@example.org>", "jo@example.org (Jo Bloggs)" or "jo@example.org".
    void setText(const QString& text);

    bool isEmpty() const { return Name.isEmpty() && Address.isEmpty(); }
    void clear();
};
