#include "sequence/ArchiveInAdvance.h"

#include "backupdata/TernFileObject.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "transport/ZipMaster.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

ArchiveInAdvance::ArchiveInAdvance(QString tag) : m_tag(std::move(tag))
{}

ArchiveInAdvance::~ArchiveInAdvance()
{
    discard();
}

void ArchiveInAdvance::start(SequenceWorkerThread& helper, const QString& path)
{
    discard();
    QString zipFolder;
    try {
        zipFolder = TTernFileObject::ZipFolder();
    } catch (const KestrelError&) {
        return;
    }
    if (!QFileInfo::exists(path))
        return;
    m_path = path;
    m_password = TQuayRegistryObject().ReadUserZipPassword();
    m_archive = TZipMaster::scratchArchivePath(zipFolder, m_tag);
    m_step = helper.start([path = m_path, archive = m_archive, password = m_password, this] {
        const std::optional<FileState> before = FileState::of(path);
        TZipMaster zip;
        zip.SetZipFileName(archive);
        zip.FSpecArgs() = QStringList{path};
        TTernFileObject::SetUpZipPassword(zip, password);
        zip.AddFiles();
        // A file that changed while it was packed may be torn in the archive.
        if (zip.SuccessCount() > 0 && before && before == FileState::of(path))
            m_packedState = before;
        else
            QFile::remove(archive);
    });
}

bool ArchiveInAdvance::adopt(TTernFileObject& file, TZipMaster& zip)
{
    if (!m_step)
        return false;
    if (file.FileName() != m_path) {
        discard();
        return false;
    }
    try {
        SequenceWorkerThread::wait(m_step);
    } catch (const std::exception&) {
        m_packedState.reset();
    }
    m_step.reset();
    const std::optional<FileState> packedState = std::exchange(m_packedState, std::nullopt);
    const bool current = packedState && packedState == FileState::of(m_path) &&
                         TQuayRegistryObject().ReadUserZipPassword() == m_password;
    if (!current) {
        QFile::remove(m_archive);
        return false;
    }
    try {
        file.AdoptZip(zip, m_archive, *packedState);
    } catch (const KestrelError&) {
        // The file is packed anew, which reports what is wrong.
        return false;
    }
    return true;
}

void ArchiveInAdvance::discard()
{
    if (!m_step)
        return;
    // The step holds this object: it must have ended before the object goes.
    SequenceWorkerThread::waitQuietly(m_step);
    m_step.reset();
    m_packedState.reset();
    QFile::remove(m_archive);
}
