#include "winintegration/XdgFileManagerMenu.h"

#include "core/EditionProfile.h"
#include "core/KestrelError.h"
#include "winintegration/XdgAutostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

constexpr QFileDevice::Permissions Executable =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
    QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;

QString dataHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

// A desktop-entry string value: backslashes and line breaks escaped.
QString desktopValue(const QString& text)
{
    QString value = text;
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return value;
}

// One word for the shell: single quotes, a quote inside as '\''.
QString shellQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void writeFile(const QString& path, const QByteArray& content, bool executable)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.setPermissions(executable ? Executable
                                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther) ||
        !file.commit())
        throw KestrelError(path);
}

// A byte copy under a temporary name, renamed into place when complete, so the file
// managers never run a half-copied helper.
void copyHelper(const QString& source, const QString& target)
{
    const QString partial = target + QStringLiteral(".part");
    QFile::remove(partial);
    if (!QFile::copy(source, partial) || !QFile::setPermissions(partial, Executable) ||
        !QFile::rename(partial, target)) {
        QFile::remove(partial);
        throw KestrelError(target);
    }
}

} // namespace

XdgFileManagerMenu::XdgFileManagerMenu(const QString& sourceFolder) : m_sourceFolder(sourceFolder)
{}

QString XdgFileManagerMenu::shellExtensionFolder()
{
    return dataHome() + QStringLiteral("/Orrery/ShellExt/");
}

QString XdgFileManagerMenu::helperPath(const EditionProfile& profile)
{
    return shellExtensionFolder() + profile.helperName;
}

XdgFileManagerMenu::ActionFiles XdgFileManagerMenu::actionFiles(const EditionProfile& profile)
{
    const QString data = dataHome();
    return {data + QStringLiteral("/kio/servicemenus/") + profile.handlerName +
                QStringLiteral(".desktop"),
            data + QStringLiteral("/nautilus/scripts/") + profile.menuDescription,
            data + QStringLiteral("/nemo/actions/") + profile.handlerName +
                QStringLiteral(".nemo_action")};
}

QByteArray XdgFileManagerMenu::dolphinServiceMenu(const EditionProfile& profile,
                                                  const QString& helper)
{
    // quoteExecArgument gives the value already escaped as a string value.
    const QString exec = XdgAutostart::quoteExecArgument(helper) + QStringLiteral(" %F");
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Service\n"
                          "Name=%1\n"
                          "MimeType=all/all;\n"
                          "Actions=addToBackUpLists;\n"
                          "\n"
                          "[Desktop Action addToBackUpLists]\n"
                          "Name=%1\n"
                          "Icon=%2\n"
                          "Exec=%3\n")
        .arg(desktopValue(profile.menuDescription), profile.name.toLower(), exec)
        .toUtf8();
}

QByteArray XdgFileManagerMenu::nautilusScript(const EditionProfile& profile, const QString& helper)
{
    // The variable holds one path a line; splitting at line breaks only, with globbing
    // off, hands each path over whole, blanks and all.
    return QStringLiteral("#!/bin/sh\n"
                          "# %1\n"
                          "IFS='\n'\n"
                          "set -f\n"
                          "exec %2 $NAUTILUS_SCRIPT_SELECTED_FILE_PATHS\n")
        .arg(profile.menuDescription, shellQuoted(helper))
        .toUtf8();
}

QByteArray XdgFileManagerMenu::nemoAction(const EditionProfile& profile, const QString& helper)
{
    // Quote=double puts each path of %F in double quotes; the helper's own path is
    // quoted the same way.
    QString quotedHelper = helper;
    for (const QLatin1Char special :
         {QLatin1Char('\\'), QLatin1Char('"'), QLatin1Char('`'), QLatin1Char('$')})
        quotedHelper.replace(special, QString(QLatin1Char('\\')) + special);
    return QStringLiteral("[Nemo Action]\n"
                          "Name=%1\n"
                          "Comment=%1\n"
                          "Exec=\"%2\" %F\n"
                          "Icon-Name=%3\n"
                          "Selection=notnone\n"
                          "Extensions=any;\n"
                          "Quote=double\n")
        .arg(profile.menuDescription, quotedHelper, profile.name.toLower())
        .toUtf8();
}

bool XdgFileManagerMenu::registerMenu(const EditionProfile& profile)
{
    if (profile.helperName.isEmpty())
        return false;
    const QString folder = shellExtensionFolder();
    QDir().mkpath(folder);
    const QString sourceFolder =
        m_sourceFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_sourceFolder;
    const QString source = sourceFolder + QLatin1Char('/') + profile.helperName;
    const QString target = helperPath(profile);
    if (QFileInfo(source).isFile() && !QFileInfo::exists(target))
        copyHelper(source, target);
    if (!QFileInfo(target).isFile())
        return false;
    const ActionFiles files = actionFiles(profile);
    writeFile(files.dolphin, dolphinServiceMenu(profile, target), true);
    writeFile(files.nautilus, nautilusScript(profile, target), true);
    writeFile(files.nemo, nemoAction(profile, target), false);
    return true;
}

bool XdgFileManagerMenu::removeMenu(const EditionProfile& profile)
{
    if (profile.helperName.isEmpty() || !QFileInfo(helperPath(profile)).isFile())
        return false;
    const ActionFiles files = actionFiles(profile);
    for (const QString& path : {files.dolphin, files.nautilus, files.nemo}) {
        if (QFileInfo::exists(path) && !QFile::remove(path))
            throw KestrelError(path);
    }
    return true;
}
