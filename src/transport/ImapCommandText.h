#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The pieces of IMAP commands that need care: UID sets, strings and mailbox names.
class ImapCommandText
{
public:
    // The UIDs, sorted and without repeats, as a set with runs written as ranges:
    // {1, 2, 3, 5, 9, 10} gives "1:3,5,9:10".
    static QByteArray uidSet(QList<quint32> uids);
    // Whether the bytes can travel as a quoted string: 7-bit, without NUL, CR or LF
    // (RFC 3501 section 4.3); anything else has to be a literal.
    static bool fitsQuoted(const QByteArray& bytes);
    // A quoted string, with quotes and backslashes escaped.
    static QByteArray quoted(const QByteArray& bytes);
    // A mailbox name in the modified UTF-7 of RFC 3501 section 5.1.3 ("Entw&APw-rfe").
    static QByteArray mailboxName(const QString& name);
};
