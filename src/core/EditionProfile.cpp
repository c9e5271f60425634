#include "core/EditionProfile.h"

#include "core/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <array>

namespace {

const std::array<EditionProfile, 4>& profiles()
{
    static const std::array<EditionProfile, 4> table{{
        {Edition::KestrelClient,
         QStringLiteral("KestrelClient"),
         QStringLiteral("Software\\Orrery\\KestrelClient"),
         {},
         {},
         {},
         {}},
        {Edition::KestrelSolo, QStringLiteral("KestrelSolo"),
         QStringLiteral("Software\\Orrery\\KestrelSolo"), QStringLiteral("kestrelsolo-add"),
         QStringLiteral("KestrelSoloDLL"), QStringLiteral("{05F91806-933E-424F-9B56-74C7C163AD39}"),
         QStringLiteral("Add items to KestrelSolo backup lists.")},
        {Edition::KestrelCD, QStringLiteral("KestrelCD"),
         QStringLiteral("Software\\Orrery\\KestrelCD"), QStringLiteral("kestrelcd-add"),
         QStringLiteral("KestrelCDDLL"), QStringLiteral("{A2A74D14-21E9-4BCF-B819-9AE00F5F6B77}"),
         QStringLiteral("Add items to KestrelCD backup lists.")},
        {Edition::KestrelDrive, QStringLiteral("KestrelDrive"),
         QStringLiteral("Software\\Orrery\\KestrelDrive"), QStringLiteral("kestreldrive-add"),
         QStringLiteral("KestrelDriveDLL"),
         QStringLiteral("{E4468B6D-88F6-465C-A18B-AE3DCA4DFB77}"),
         QStringLiteral("Add items to KestrelDrive backup lists.")},
    }};
    return table;
}

} // namespace

bool editionFromProductName(const QString& productName, Edition* edition)
{
    for (const EditionProfile& profile : profiles()) {
        if (profile.name == productName) {
            *edition = profile.edition;
            return true;
        }
    }
    return false;
}

Edition currentEdition()
{
    Edition edition = Edition::KestrelSolo;
    editionFromProductName(QCoreApplication::applicationName(), &edition);
    return edition;
}

bool isEdition(Edition edition)
{
    return currentEdition() == edition;
}

bool isMailEdition(Edition edition)
{
    return edition == Edition::KestrelSolo || edition == Edition::KestrelClient;
}

const EditionProfile& editionProfile(Edition edition)
{
    return profiles()[static_cast<size_t>(edition)];
}

const EditionProfile& currentProfile()
{
    return editionProfile(currentEdition());
}

QString programFolder(Edition edition)
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString folder = dataHome + QStringLiteral("/Orrery/") + editionProfile(edition).name;
    PrivateFiles::makePrivateFolder(folder);
    return folder;
}

QString currentProgramFolder()
{
    return programFolder(currentEdition());
}
