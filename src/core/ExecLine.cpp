#include "core/ExecLine.h"

std::optional<QStringList> splitExecLine(const QString& line)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'"') {
                quoted = false;
            } else if (c == u'\\' && i + 1 < line.size() &&
                       QStringView(u"\"`$\\").contains(line.at(i + 1))) {
                current += line.at(++i);
            } else {
                current += c;
            }
        } else if (c == u' ' || c == u'\t') {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
        } else if (c == u'"') {
            quoted = true;
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments << current;
    if (arguments.isEmpty() || arguments.constFirst().isEmpty())
        return std::nullopt;
    return arguments;
}
