#include "transport/ImapValue.h"

namespace {

// Deeper lists than this are no body structure a mail holds; the cap keeps a hostile
// reply from exhausting the stack.
constexpr int MaxListDepth = 64;

bool isAtomChar(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f)
        return false;
    return c != ' ' && c != '(' && c != ')' && c != '{' && c != '"' && c != ']';
}

} // namespace

std::optional<qint64> ImapValue::number() const
{
    if (kind != Kind::Atom || text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        result = result * 10 + (c - '0');
    }
    return result;
}

bool ImapValue::isAtom(const char* name) const
{
    return kind == Kind::Atom && text.compare(name, Qt::CaseInsensitive) == 0;
}

ImapParser::ImapParser(const QByteArray& text, qsizetype position)
    : m_text(text), m_position(position)
{}

void ImapParser::fail(const char* what) const
{
    throw ImapSyntaxError(QStringLiteral("%1 at byte %2").arg(QLatin1String(what)).arg(m_position));
}

void ImapParser::skipBlanks()
{
    while (m_position < m_text.size() && m_text[m_position] == ' ')
        ++m_position;
}

QByteArray ImapParser::word()
{
    skipBlanks();
    const qsizetype start = m_position;
    while (m_position < m_text.size() && m_text[m_position] != ' ')
        ++m_position;
    return m_text.mid(start, m_position - start);
}

QList<ImapValue> ImapParser::values()
{
    QList<ImapValue> result;
    skipBlanks();
    while (!atEnd()) {
        result.append(value());
        if (!atEnd() && m_text[m_position] != ' ')
            fail("no blank after a value");
        skipBlanks();
    }
    return result;
}

ImapValue ImapParser::value()
{
    if (atEnd())
        fail("a value is missing");
    const char c = m_text[m_position];
    if (c == '(')
        return list();
    if (c == '"')
        return quoted();
    if (c == '{' || (c == '~' && m_position + 1 < m_text.size() && m_text[m_position + 1] == '{'))
        return literal();
    return atom();
}

ImapValue ImapParser::list()
{
    if (++m_depth > MaxListDepth)
        fail("lists nested too deeply");
    ++m_position;
    skipBlanks();
    ImapValue result;
    result.kind = ImapValue::Kind::List;
    for (;;) {
        if (atEnd())
            fail("a list does not end");
        if (m_text[m_position] == ')') {
            ++m_position;
            break;
        }
        // The parts of a multipart body follow each other without a blank
        // (RFC 3501 section 9, body-type-mpart).
        const bool listFollowsList =
            !result.items.isEmpty() && result.items.last().isList() && m_text[m_position] == '(';
        if (!result.items.isEmpty() && !listFollowsList) {
            if (m_text[m_position] != ' ')
                fail("no blank between list items");
            skipBlanks();
            if (!atEnd() && m_text[m_position] == ')') {
                ++m_position;
                break;
            }
        }
        result.items.append(value());
    }
    --m_depth;
    // A list is followed by a blank, another list, the end of its own list or the end.
    if (!atEnd() && m_text[m_position] != ' ' && m_text[m_position] != ')' &&
        m_text[m_position] != '(')
        fail("unexpected text after a list");
    return result;
}

ImapValue ImapParser::quoted()
{
    ++m_position;
    ImapValue result;
    result.kind = ImapValue::Kind::String;
    for (;;) {
        if (atEnd())
            fail("a quoted string does not end");
        const char c = m_text[m_position++];
        if (c == '"')
            break;
        if (c == '\r' || c == '\n' || c == '\0')
            fail("a line break inside a quoted string");
        if (c == '\\') {
            // Only the quote and the backslash are escaped (RFC 3501 section 9).
            if (atEnd() || (m_text[m_position] != '"' && m_text[m_position] != '\\'))
                fail("an unknown escape in a quoted string");
            result.text.append(m_text[m_position++]);
            continue;
        }
        result.text.append(c);
    }
    if (!atEnd() && m_text[m_position] != ' ' && m_text[m_position] != ')')
        fail("unexpected text after a quoted string");
    return result;
}

ImapValue ImapParser::literal()
{
    if (m_text[m_position] == '~')
        ++m_position;
    ++m_position;
    qint64 size = 0;
    qsizetype digits = 0;
    while (!atEnd() && m_text[m_position] >= '0' && m_text[m_position] <= '9') {
        if (++digits > 18)
            fail("a literal's size is too large");
        size = size * 10 + (m_text[m_position++] - '0');
    }
    if (digits == 0)
        fail("a literal without a size");
    if (!atEnd() && m_text[m_position] == '+')
        ++m_position;
    if (m_text.mid(m_position, 3) != "}\r\n")
        fail("a literal's size is not followed by a line break");
    m_position += 3;
    if (size > m_text.size() - m_position)
        fail("a literal is shorter than its size");
    ImapValue result;
    result.kind = ImapValue::Kind::String;
    result.text = m_text.mid(m_position, size);
    m_position += size;
    // A literal that held more bytes than it announced leaves them here.
    if (!atEnd() && m_text[m_position] != ' ' && m_text[m_position] != ')')
        fail("unexpected text after a literal");
    return result;
}

ImapValue ImapParser::atom()
{
    const qsizetype start = m_position;
    while (!atEnd()) {
        const char c = m_text[m_position];
        if (c == '[') {
            // A section ("BODY[HEADER.FIELDS (SUBJECT DATE)]") belongs to its atom,
            // blanks and parentheses included.
            const qsizetype close = m_text.indexOf(']', m_position);
            const qsizetype lineBreak = m_text.indexOf('\n', m_position);
            if (close < 0 || (lineBreak >= 0 && lineBreak < close))
                fail("a section does not end");
            m_position = close + 1;
            continue;
        }
        if (!isAtomChar(c))
            break;
        ++m_position;
    }
    if (m_position == start)
        fail("an unexpected character");
    ImapValue result;
    result.kind = ImapValue::Kind::Atom;
    result.text = m_text.mid(start, m_position - start);
    if (result.text.compare("NIL", Qt::CaseInsensitive) == 0) {
        result.kind = ImapValue::Kind::Nil;
        result.text.clear();
    }
    return result;
}
