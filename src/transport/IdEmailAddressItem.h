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

    // Throws KestrelError when the address holds a line break or another control
    // character: written raw, it would add header lines or SMTP commands of its own.
    void checkAddress() const;

    bool isEmpty() const { return Name.isEmpty() && Address.isEmpty(); }
    void clear();
};
