#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

// Reads mail header text as it arrives from a mailbox: the reverse of what
// THeaderEncoder and TIdHeaderList::fold write, and lenient towards what other mail
// programs write, since a header that cannot be read must not hide a whole message.
class HeaderDecoder
{
public:
    // The value of the first header field called name (without regard to case) in a
    // block of header lines, unfolded (RFC 5322 section 2.2.3); empty when missing.
    static QByteArray field(const QByteArray& header, const QByteArray& name);
    // Unstructured header text (a Subject) as text: encoded words (RFC 2047, "B" and
    // "Q", in any charset the system knows) decoded, the blanks between two encoded
    // words dropped, raw 8-bit text read as UTF-8 when it is UTF-8 and as Latin-1
    // otherwise. A malformed encoded word stays as it is.
    static QString text(const QByteArray& raw);
    // A date as RFC 5322 section 3.3 writes it, including the obsolete forms (two-digit
    // years, named zones, comments); invalid when it cannot be read.
    static QDateTime date(const QByteArray& raw);
    // An IMAP INTERNALDATE ("17-Jul-1996 02:44:25 -0700"); invalid when unreadable.
    static QDateTime internalDate(const QByteArray& raw);

    // A MIME parameter's value from name/value pairs (Content-Type, Content-
    // Disposition): the plain value (encoded words decoded), or the RFC 2231 form
    // ("name*", "name*0*", "name*1", ...) when the pairs hold it, also beside a plain
    // fallback. Empty when absent.
    using Parameters = QList<QPair<QByteArray, QByteArray>>;
    static QString parameter(const Parameters& parameters, const QByteArray& name);
};
