#include "backupdata/BackUpLogReader.h"

#include "backupdata/TernBackUpFileObjectList.h"
#include "core/KestrelError.h"

#include <QCoreApplication>
#include <QFileInfo>

BackUpLogReader::BackUpLogReader(const QString& path) : m_path(path), m_file(path)
{
    if (!m_file.exists())
        return;
    if (!m_file.open(QIODevice::ReadOnly))
        throw KestrelError(
            QCoreApplication::translate("BackUpLogReader", "Unable to read the back up log %1: %2")
                .arg(m_path, m_file.errorString()));
    m_reader =
        std::make_unique<SelectionListTextReader>(m_file, SelectionListTextReader::CtrlZ::EndsLine);
}

BackUpLogReader::Status BackUpLogReader::readNext(TTernBackUpFileObject& record)
{
    record.Clear();
    if (!m_reader)
        return Status::End;
    QString line;
    try {
        if (!m_reader->readLine(&line))
            return Status::End;
    } catch (const KestrelError&) {
        throw KestrelError(m_path);
    }
    try {
        record.Parse(line);
    } catch (const KestrelError& error) {
        record.Clear();
        m_damage = {m_reader->lineNumber(), line, error.message()};
        return Status::Damaged;
    }
    return Status::Record;
}

BackUpLogReadResult BackUpLogReader::readAll(const QString& path, TTernBackUpFileObjectList& list)
{
    BackUpLogReadResult result;
    BackUpLogReader reader(path);
    // A record line takes some 100 bytes: room for the likely number of records
    // (more is fine, the list grows as needed).
    list.Reserve(list.Count() + QFileInfo(path).size() / ExpectedRecordBytes);
    TTernBackUpFileObject record;
    for (;;) {
        const Status status = reader.readNext(record);
        if (status == Status::End)
            break;
        if (status == Status::Damaged) {
            result.damagedLines.append(reader.damage());
            continue;
        }
        list.Add(std::move(record));
        ++result.recordCount;
    }
    return result;
}
