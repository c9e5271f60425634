#pragma once

#include "core/KestrelError.h"

#include <QByteArray>
#include <QList>

#include <optional>

// A reply that does not follow the protocol's grammar; the session turns it into an
// error that names the server and what it was doing.
class ImapSyntaxError : public KestrelError
{
public:
    using KestrelError::KestrelError;
};

// One value of an IMAP server's response (RFC 3501 section 4, RFC 9051 section 4):
// an atom (numbers and flags are atoms too), a string (quoted or literal, held
// decoded), NIL, or a parenthesised list of values.
struct ImapValue
{
    enum class Kind
    {
        Atom,
        String,
        Nil,
        List
    };

    Kind kind = Kind::Nil;
    QByteArray text;
    QList<ImapValue> items;

    bool isList() const { return kind == Kind::List; }
    bool isNil() const { return kind == Kind::Nil; }
    // A string or an atom: both carry text.
    bool hasText() const { return kind == Kind::Atom || kind == Kind::String; }
    // The value of an atom made of decimal digits only (at most 63 bits).
    std::optional<qint64> number() const;
    // Whether this is the atom `name`, compared without regard to case.
    bool isAtom(const char* name) const;
};

// Reads values from a response whose literals stand in place as "{n}\r\n" followed
// by their n bytes (and whose final CR LF is removed). Every fault of syntax throws
// ImapSyntaxError naming what was wrong; nothing is guessed, since a misread reply
// would put every later reply out of step.
class ImapParser
{
public:
    explicit ImapParser(const QByteArray& text, qsizetype position = 0);

    bool atEnd() const { return m_position >= m_text.size(); }
    qsizetype position() const { return m_position; }
    // The rest of the text as it is (the free text of a status response).
    QByteArray rest() const { return m_text.mid(m_position); }

    // One value; a fetch item name like "BODY[HEADER.FIELDS (DATE)]<0>" is one atom.
    ImapValue value();
    // Every value up to the end, separated by blanks.
    QList<ImapValue> values();
    // An atom up to the next blank (the first words of a response: tag, status).
    QByteArray word();
    // A blank, or the end.
    void skipBlanks();

private:
    ImapValue list();
    ImapValue quoted();
    ImapValue literal();
    ImapValue atom();
    [[noreturn]] void fail(const char* what) const;

    QByteArray m_text;
    qsizetype m_position;
    int m_depth = 0;
};
