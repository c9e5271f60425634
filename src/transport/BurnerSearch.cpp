#include "transport/BurnerSearch.h"

#include <QMetaObject>
#include <QPointer>
#include <QRegularExpression>
#include <QStringList>

#include <thread>

namespace {

// xorriso quotes a name in single quotes and writes a quote inside it as '"'"'.
const QString QuotedName = QStringLiteral("'((?:[^']|'\"'\"')*)'");

} // namespace

BurnerSearch::BurnerSearch(QObject* parent) : QObject(parent)
{}

void BurnerSearch::start()
{
    if (m_running)
        return;
    if (!m_writer)
        m_writer = std::make_shared<XorrisoDiscWriter>();
    m_running = true;
    // The thread holds the writer, so a search destroyed meanwhile only loses its end.
    const QPointer<BurnerSearch> self(this);
    std::thread([self, writer = m_writer] {
        const DiscWriter::Result result = writer->run({QStringLiteral("-devices")});
        QMetaObject::invokeMethod(
            self.data(),
            [self, burners = parse(result.output)] {
                if (!self)
                    return;
                self->m_running = false;
                Q_EMIT self->found(burners);
            },
            Qt::QueuedConnection);
    }).detach();
}

QString BurnerSearch::unquoted(QString name)
{
    name.replace(QStringLiteral("'\"'\"'"), QStringLiteral("'"));
    return name;
}

QList<BurnerDevice> BurnerSearch::parse(const QString& output)
{
    // "0  -dev '/dev/sr0' rwrw-- :  'HL-DT-ST' 'DVDRAM GH24NSD1'"
    static const QRegularExpression line(QStringLiteral("^\\s*\\d+\\s+-dev\\s+") + QuotedName +
                                         QStringLiteral("\\s+\\S+\\s*:(.*)$"));
    static const QRegularExpression name(QuotedName);
    QList<BurnerDevice> burners;
    for (const QString& text : output.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text.trimmed());
        if (!match.hasMatch())
            continue;
        QStringList words;
        for (const QRegularExpressionMatch& word : name.globalMatch(match.captured(2)))
            words << unquoted(word.captured(1)).trimmed();
        burners.append({unquoted(match.captured(1)), words.join(QLatin1Char(' ')).trimmed()});
    }
    return burners;
}
