#include "sequence/SequenceLock.h"

#include "core/EditionProfile.h"

#include <QDir>

SequenceLock::SequenceLock() : m_file(path())
{
    // A sequence may run for hours: only a holder that no longer runs makes the lock
    // stale, never its age.
    m_file.setStaleLockTime(0);
}

QString SequenceLock::path()
{
    return QDir(currentProgramFolder()).filePath(QStringLiteral("Sequence.lock"));
}

bool SequenceLock::tryLock()
{
    return m_file.tryLock(0);
}

QString SequenceLock::problem() const
{
    switch (m_file.error()) {
    case QLockFile::NoError:
        return {};
    case QLockFile::LockFailedError: {
        qint64 pid = 0;
        QString host;
        QString application;
        const QString holder = m_file.getLockInfo(&pid, &host, &application)
                                   ? QStringLiteral(" (process %1)").arg(pid)
                                   : QString();
        return QStringLiteral("Another back up sequence of %1 is running%2; this one was not "
                              "started.")
            .arg(currentProfile().name, holder);
    }
    case QLockFile::PermissionError:
        return QStringLiteral("The lock file %1 cannot be made: permission denied. The back up "
                              "sequence was not started.")
            .arg(path());
    case QLockFile::UnknownError:
        break;
    }
    return QStringLiteral("The lock file %1 cannot be made. The back up sequence was not "
                          "started.")
        .arg(path());
}
