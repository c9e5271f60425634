#include "winintegration/XdgAutostart.h"

#include "core/EditionProfile.h"
#include "winintegration/DesktopFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// Reads "Key=value" lines of the [Desktop Entry] group.
QString entryValue(const QString& text, const QString& key)
{
    bool inMainGroup = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

} // namespace

QString XdgAutostart::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/") + currentProfile().name + QStringLiteral(".desktop");
}

QString XdgAutostart::quoteExecArgument(const QString& argument)
{
    // Inside double quotes, '"', '`', '$' and '\' are escaped with a backslash; the
    // backslash itself is then escaped again because the value is a string value.
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('\\')) {
            quoted += QLatin1String("\\\\\\\\");
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QLatin1String("\\\\");
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString XdgAutostart::entryText(const QString& editionName, const QString& executable)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Comment=Start %1 when you log in\n"
                          "Exec=%2\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(editionName, quoteExecArgument(executable));
}

bool XdgAutostart::isPresent()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(file.readAll());
    return !entryValue(text, QStringLiteral("Exec")).isEmpty() &&
           entryValue(text, QStringLiteral("Hidden")) != QLatin1String("true");
}

void XdgAutostart::write(bool present)
{
    const QString path = entryPath();
    if (!present) {
        DesktopFiles::removeIfPresent(path);
        return;
    }
    const QString executable =
        QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    DesktopFiles::write(path, entryText(currentProfile().name, executable));
}
