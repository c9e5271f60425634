#include "sequence/LogArchiveInAdvance.h"

#include "backupdata/TernFileObject.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "transport/ZipMaster.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

LogArchiveInAdvance::~LogArchiveInAdvance()
{
    discard();
}

void LogArchiveInAdvance::start(SequenceWorkerThread& helper, const QString& logFile)
{
    discard();
    QString zipFolder;
    try {
        zipFolder = TTernFileObject::ZipFolder();
    } catch (const KestrelError&) {
        return;
    }
    if (!QFileInfo::exists(logFile))
        return;
    const TQuayRegistryObject store;
    m_logFile = logFile;
    m_password = store.ReadUserZipPassword();
    m_archive = TZipMaster::scratchArchivePath(zipFolder, QStringLiteral("log"));
    m_step = helper.start([logFile = m_logFile, archive = m_archive, password = m_password, this] {
        const std::optional<FileState> before = FileState::of(logFile);
        TZipMaster zip;
        zip.SetZipFileName(archive);
        zip.FSpecArgs() = QStringList{logFile};
        TTernFileObject::SetUpZipPassword(zip, password);
        zip.AddFiles();
        // A log that changed while it was packed may be torn in the archive.
        if (zip.SuccessCount() > 0 && before && before == FileState::of(logFile))
            m_packedState = before;
        else
            QFile::remove(archive);
    });
}

bool LogArchiveInAdvance::adopt(const TTernFileObject& log, TZipMaster& zip)
{
    if (!m_step)
        return false;
    try {
        SequenceWorkerThread::wait(m_step);
    } catch (const std::exception&) {
        m_packedState.reset();
    }
    m_step.reset();
    const bool current = m_packedState && log.FileName() == m_logFile &&
                         m_packedState == FileState::of(m_logFile) &&
                         TQuayRegistryObject().ReadUserZipPassword() == m_password;
    m_packedState.reset();
    if (!current) {
        QFile::remove(m_archive);
        return false;
    }
    try {
        log.AdoptZip(zip, m_archive);
    } catch (const KestrelError&) {
        // The log is packed anew, which reports what is wrong.
        return false;
    }
    return true;
}

void LogArchiveInAdvance::discard()
{
    if (!m_step)
        return;
    // The step holds this object: it must have ended before the object goes.
    SequenceWorkerThread::waitQuietly(m_step);
    m_step.reset();
    m_packedState.reset();
    QFile::remove(m_archive);
}
