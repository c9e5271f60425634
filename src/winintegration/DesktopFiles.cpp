#include "winintegration/DesktopFiles.h"

#include "core/KestrelError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace DesktopFiles {

void write(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        throw KestrelError(QCoreApplication::translate("DesktopFiles", "Unable to write %1: %2")
                               .arg(path, file.errorString()));
}

void removeIfPresent(const QString& path)
{
    QFile file(path);
    if (QFileInfo::exists(path) && !file.remove())
        throw KestrelError(QCoreApplication::translate("DesktopFiles", "Unable to remove %1: %2")
                               .arg(path, file.errorString()));
}

} // namespace DesktopFiles
