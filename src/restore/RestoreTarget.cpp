#include "restore/RestoreTarget.h"

#include "core/KestrelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

RestoreTarget::RestoreTarget(const QString& folder)
{
    if (!QDir().mkpath(folder))
        throw KestrelError(QStringLiteral("Could not create the folder %1").arg(folder));
    m_canonical = QFileInfo(folder).canonicalFilePath();
    if (m_canonical.isEmpty())
        throw KestrelError(QStringLiteral("Could not open the folder %1").arg(folder));
}

bool RestoreTarget::inside(const QString& canonicalPath) const
{
    return canonicalPath == m_canonical ||
           canonicalPath.startsWith(
               m_canonical == QLatin1String("/") ? m_canonical : m_canonical + QLatin1Char('/'));
}

QString RestoreTarget::prepare(const QString& relativePath) const
{
    const QStringList components = relativePath.split(QLatin1Char('/'));
    for (const QString& component : components) {
        if (component.isEmpty() || component == QLatin1String(".") ||
            component == QLatin1String("..") || component.contains(QChar(0)))
            throw KestrelError(QStringLiteral("the saved path does not stay inside the target"));
    }
    QString path = m_canonical;
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        path += QLatin1Char('/') + components.at(i);
        const QFileInfo folder(path);
        if (folder.isSymLink() || folder.exists()) {
            // A link is followed only when it ends inside the target.
            if (!folder.isDir() || !inside(folder.canonicalFilePath()))
                throw KestrelError(
                    QStringLiteral("the folder %1 leads outside the target").arg(path));
            path = folder.canonicalFilePath();
        } else if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
            throw KestrelError(QStringLiteral("Could not create the folder %1: %2")
                                   .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        }
    }
    const QString final = path + QLatin1Char('/') + components.constLast();
    return final;
}
