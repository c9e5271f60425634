#include "backupdata/SelectionListLock.h"

#include "core/KestrelError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

SelectionListLock::SelectionListLock(const QString& listPath)
{
    const QByteArray lockPath = QFile::encodeName(listPath + QStringLiteral(".lock"));
    m_descriptor = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_descriptor < 0)
        throw KestrelError(listPath);
    int result = 0;
    do
        result = ::flock(m_descriptor, LOCK_EX);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(m_descriptor);
        throw KestrelError(listPath);
    }
}

SelectionListLock::~SelectionListLock()
{
    // Closing the descriptor releases the lock.
    ::close(m_descriptor);
}
