#pragma once

#include "core/PlatformServices.h"

#include <QString>

// The file-manager menu entry on the Linux desktop. The edition's helper program is
// copied once into the shell-extension folder, $XDG_DATA_HOME/Orrery/ShellExt/, and
// three action files run that copy with the selected paths:
//   Dolphin  $XDG_DATA_HOME/kio/servicemenus/<handler>.desktop (executable)
//   Nautilus $XDG_DATA_HOME/nautilus/scripts/<menu text> (executable script)
//   Nemo     $XDG_DATA_HOME/nemo/actions/<handler>.nemo_action
// Everything is written below XDG_DATA_HOME.
class XdgFileManagerMenu : public FileManagerMenuService
{
public:
    // The helper is copied from sourceFolder; by default the folder of the running
    // executable, where the build or the installation put the helpers.
    explicit XdgFileManagerMenu(const QString& sourceFolder = QString());

    bool registerMenu(const EditionProfile& profile) override;
    bool removeMenu(const EditionProfile& profile) override;

    // With the trailing "/".
    static QString shellExtensionFolder();
    static QString helperPath(const EditionProfile& profile);
    struct ActionFiles
    {
        QString dolphin;
        QString nautilus;
        QString nemo;
    };
    static ActionFiles actionFiles(const EditionProfile& profile);

    static QByteArray dolphinServiceMenu(const EditionProfile& profile, const QString& helper);
    static QByteArray nautilusScript(const EditionProfile& profile, const QString& helper);
    static QByteArray nemoAction(const EditionProfile& profile, const QString& helper);

private:
    QString m_sourceFolder;
};
