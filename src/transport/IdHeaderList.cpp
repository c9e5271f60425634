#include "transport/IdHeaderList.h"

void TIdHeaderList::setValue(const QString& name, const QString& value)
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (value.isEmpty())
            m_lines.removeAt(i);
        else
            m_lines[i].value = value;
        return;
    }
    if (!value.isEmpty())
        m_lines.append({name, value});
}

QStringList TIdHeaderList::fold(const QString& line)
{
    // Never break inside the "Name:" and the blank after it: the first line keeps
    // at least the name and the start of its value.
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    qsizetype firstBreakAllowed = colon < 0 ? 1 : colon + 2;

    QStringList lines;
    QString rest = line;
    while (rest.size() > FoldLength) {
        qsizetype at = -1;
        for (qsizetype i = qMin<qsizetype>(FoldLength - 1, rest.size() - 1); i >= firstBreakAllowed;
             --i) {
            if (rest[i] == QLatin1Char(' ') || rest[i] == QLatin1Char('\t')) {
                at = i;
                break;
            }
        }
        // A first word longer than the line is kept whole and broken after, so the
        // line stays as short as it can (RFC 5322 section 2.1.1 allows 998).
        for (qsizetype i = FoldLength; at < 0 && i < rest.size(); ++i) {
            if (rest[i] == QLatin1Char(' ') || rest[i] == QLatin1Char('\t'))
                at = i;
        }
        if (at < 0)
            break;
        lines.append(rest.left(at));
        rest = QLatin1Char(' ') + rest.mid(at + 1);
        // The continuation's own leading blank is not a break point.
        firstBreakAllowed = 1;
    }
    lines.append(rest);
    return lines;
}
