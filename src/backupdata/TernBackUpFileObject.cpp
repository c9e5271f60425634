#include "backupdata/TernBackUpFileObject.h"

#include "backupdata/LogLineFormat.h"
#include "core/KestrelError.h"

#include <optional>

namespace {

constexpr qint64 secondsPerDay = 86400;

int digitsAt(QStringView text, qsizetype position, qsizetype count)
{
    int value = 0;
    for (qsizetype i = position; i < position + count; ++i) {
        const char16_t character = text.at(i).unicode();
        if (character < u'0' || character > u'9')
            return -1;
        value = value * 10 + (character - u'0');
    }
    return value;
}

bool separatorAt(QStringView text, qsizetype position, char16_t separator)
{
    return text.at(position).unicode() == separator;
}

// The two exact forms the writer produces, "dd/MM/yyyy" and "dd/MM/yyyy hh:mm:ss",
// read without building a QDateTime: loading a large log parses two dates per line.
std::optional<qint64> parseExactForm(QStringView text)
{
    if (text.size() != 10 && text.size() != 19)
        return std::nullopt;
    if (!separatorAt(text, 2, u'/') || !separatorAt(text, 5, u'/'))
        return std::nullopt;
    const int year = digitsAt(text, 6, 4);
    const int month = digitsAt(text, 3, 2);
    const int day = digitsAt(text, 0, 2);
    // A non-digit gives -1, and -1 is a valid year to QDate (1 BC).
    if (year < 0 || month < 0 || day < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    int secondOfDay = 0;
    if (text.size() == 19) {
        if (!separatorAt(text, 10, u' ') || !separatorAt(text, 13, u':') ||
            !separatorAt(text, 16, u':'))
            return std::nullopt;
        const int hour = digitsAt(text, 11, 2);
        const int minute = digitsAt(text, 14, 2);
        const int second = digitsAt(text, 17, 2);
        if (!QTime::isValid(hour, minute, second))
            return std::nullopt;
        secondOfDay = hour * 3600 + minute * 60 + second;
    }
    return date.toJulianDay() * secondsPerDay + secondOfDay;
}

qint64 parseDateField(QStringView text)
{
    if (const std::optional<qint64> exact = parseExactForm(text))
        return *exact;
    const QDateTime moment = parseLogDateTime(text.toString());
    if (!moment.isValid())
        throw KestrelError(QStringLiteral("'%1' is not a valid date and time").arg(text));
    return TTernBackUpFileObject::wallClockSeconds(moment);
}

int parseIdField(QStringView text)
{
    bool ok = false;
    const int id = text.toInt(&ok, 10);
    if (!ok)
        throw KestrelError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return id;
}

// One field from position up to the next ";" or the end; position moves past the ";".
QStringView takeField(const QString& line, qsizetype& position)
{
    qsizetype end = line.indexOf(logFieldSeparator, position);
    if (end < 0)
        end = line.size();
    const QStringView field = QStringView(line).mid(position, end - position);
    position = end + 1;
    return field;
}

// Left to right: the file name always takes the first character; a later field is
// read only while the line goes on far enough, so a short line leaves the remaining
// fields as they were.
void parseFromLeft(const QString& line, TTernBackUpFileObject& record)
{
    const qsizetype length = line.size();
    if (length == 0)
        return;
    qsizetype end = line.indexOf(logFieldSeparator, 1);
    if (end < 0)
        end = length;
    record.SetFileName(line.left(end));
    qsizetype position = end + 1;
    if (position < length - 1)
        record.SetFileDateSeconds(parseDateField(takeField(line, position)));
    if (position < length - 1)
        record.SetSizeText(takeField(line, position).toString());
    if (position < length - 1)
        record.SetBackupDateSeconds(parseDateField(takeField(line, position)));
    if (position < length)
        record.SetID(parseIdField(takeField(line, position)));
}

// Right to left: the last four fields, the file name is everything before them.
void parseFromRight(const QString& line, TTernBackUpFileObject& record)
{
    qsizetype separators[4];
    qsizetype position = line.size();
    for (qsizetype& separator : separators) {
        separator = line.lastIndexOf(logFieldSeparator, position - 1);
        if (separator <= 0)
            throw KestrelError(QStringLiteral("'%1' is not a backup log record").arg(line));
        position = separator;
    }
    const auto between = [&line](qsizetype from, qsizetype to) {
        return QStringView(line).mid(from + 1, to - from - 1);
    };
    const qint64 fileDate = parseDateField(between(separators[3], separators[2]));
    const qint64 backupDate = parseDateField(between(separators[1], separators[0]));
    const int id = parseIdField(QStringView(line).mid(separators[0] + 1));
    record.SetFileName(line.left(separators[3]));
    record.SetFileDateSeconds(fileDate);
    record.SetSizeText(between(separators[2], separators[1]).toString());
    record.SetBackupDateSeconds(backupDate);
    record.SetID(id);
}

void appendDigits(QString& text, int value, int width)
{
    char16_t digits[4];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = char16_t(u'0' + value % 10);
        value /= 10;
    }
    text.append(QStringView(digits, width));
}

// The text formatLogDateTime gives for the same wall-clock time, written directly:
// the purge writes two dates for every line it keeps.
void appendDateTimeText(QString& text, qint64 seconds)
{
    int year = 0;
    int month = 0;
    int day = 0;
    QDate::fromJulianDay(seconds / secondsPerDay).getDate(&year, &month, &day);
    if (year < 1000 || year > 9999) {
        text.append(formatLogDateTime(TTernBackUpFileObject::fromWallClockSeconds(seconds)));
        return;
    }
    appendDigits(text, day, 2);
    text.append(u'/');
    appendDigits(text, month, 2);
    text.append(u'/');
    appendDigits(text, year, 4);
    const int secondOfDay = int(seconds % secondsPerDay);
    if (secondOfDay == 0)
        return;
    text.append(u' ');
    appendDigits(text, secondOfDay / 3600, 2);
    text.append(u':');
    appendDigits(text, secondOfDay / 60 % 60, 2);
    text.append(u':');
    appendDigits(text, secondOfDay % 60, 2);
}

} // namespace

void TTernBackUpFileObject::Clear()
{
    *this = TTernBackUpFileObject();
}

void TTernBackUpFileObject::Parse(const QString& line)
{
    TTernBackUpFileObject parsed = *this;
    try {
        parseFromLeft(line, parsed);
    } catch (const KestrelError& leftError) {
        if (line.count(logFieldSeparator) <= 4)
            throw;
        parsed = *this;
        try {
            parseFromRight(line, parsed);
        } catch (const KestrelError&) {
            throw leftError;
        }
    }
    *this = std::move(parsed);
}

QString TTernBackUpFileObject::ToLine() const
{
    QString line;
    line.reserve(m_fileName.size() + m_sizeText.size() + 56);
    line.append(m_fileName);
    line.append(logFieldSeparator);
    appendDateTimeText(line, m_fileDate);
    line.append(logFieldSeparator);
    line.append(m_sizeText);
    line.append(logFieldSeparator);
    appendDateTimeText(line, m_backupDate);
    line.append(logFieldSeparator);
    line.append(QString::number(m_id));
    return line;
}

bool TTernBackUpFileObject::IsValidLine(const QString& line)
{
    const qsizetype separators = line.count(logFieldSeparator);
    if (separators == 4)
        return true;
    if (separators < 4)
        return false;
    TTernBackUpFileObject record;
    try {
        parseFromRight(line, record);
    } catch (const KestrelError&) {
        return false;
    }
    return true;
}

QString TTernBackUpFileObject::NamePart() const
{
    const QString name = m_fileName.mid(m_fileName.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.indexOf(u'.', 1);
    return dot < 0 ? name : name.left(dot);
}

QDateTime TTernBackUpFileObject::FileDate() const
{
    return fromWallClockSeconds(m_fileDate);
}

QDateTime TTernBackUpFileObject::BackupDate() const
{
    return fromWallClockSeconds(m_backupDate);
}

void TTernBackUpFileObject::SetFileDate(const QDateTime& fileDate)
{
    m_fileDate = wallClockSeconds(fileDate);
}

void TTernBackUpFileObject::SetBackupDate(const QDateTime& backupDate)
{
    m_backupDate = wallClockSeconds(backupDate);
}

qint64 TTernBackUpFileObject::wallClockSeconds(const QDateTime& moment)
{
    if (!moment.isValid())
        return ZeroDateSeconds;
    const QDateTime local = moment.timeSpec() == Qt::LocalTime ? moment : moment.toLocalTime();
    return local.date().toJulianDay() * secondsPerDay + local.time().msecsSinceStartOfDay() / 1000;
}

QDateTime TTernBackUpFileObject::fromWallClockSeconds(qint64 seconds)
{
    const QDate date = QDate::fromJulianDay(seconds / secondsPerDay);
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(seconds % secondsPerDay) * 1000);
    return QDateTime(date, time);
}
