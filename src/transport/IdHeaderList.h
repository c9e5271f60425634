#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Header lines "Name: value" of a message or a part. Setting a value replaces the
// line of that name (names compare without regard to case, RFC 5322 section 1.2.2);
// an empty value removes it.
class TIdHeaderList
{
public:
    struct Line
    {
        QString name;
        QString value;
    };

    void setValue(const QString& name, const QString& value);
    void clear() { m_lines.clear(); }
    bool isEmpty() const { return m_lines.isEmpty(); }
    const QList<Line>& lines() const { return m_lines; }

    // Folds one header line longer than 78 characters (RFC 5322 section 2.2.3): it is
    // broken at the last space or tab before column 78 (or, when the first word is
    // longer, right after it), and every continuation line starts with a single
    // space. A line without a space or tab stays whole.
    static QStringList fold(const QString& line);

    static constexpr int FoldLength = 78;

private:
    QList<Line> m_lines;
};
