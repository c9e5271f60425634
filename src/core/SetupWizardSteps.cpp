#include "core/SetupWizardSteps.h"

namespace {

using Kind = WizardStepKind;
using Setting = WizardSetting;

// The steps every edition shares, worded with the edition's name.
struct CommonSteps
{
    explicit CommonSteps(const QString& editionName) : name(editionName) {}

    QString name;

    WizardStep zipPassword() const
    {
        return {QStringLiteral("Back Up Zip File Password"),
                QStringLiteral("Enter your password for backed up files:"),
                QStringLiteral("This is the password used to encrypt zipped files during the back "
                               "up process.  If you forget this password backed up files cannot "
                               "be unzipped.  Entering no password still allows back up files to "
                               "be zipped, but they can be opened by anyone."),
                Kind::Password,
                Setting::UserZipPassword,
                {},
                {}};
    }

    WizardStep smtpServerName() const
    {
        return {QStringLiteral("SMTP Server Name"),
                QStringLiteral("Enter your SMTP server name:"),
                QStringLiteral("This is the name of the SMTP server you connect to for sending "
                               "email.  It is normally a server with your ISP and usually has a "
                               "name in the form of smtp.<your provider's domain>, for example "
                               "smtp.example.net."),
                Kind::Text,
                Setting::UserSMPTName,
                {},
                {}};
    }

    WizardStep smtpUserName() const
    {
        return {QStringLiteral("SMTP Server User Name"),
                QStringLiteral("Enter your SMTP server user name:"),
                QStringLiteral("This is your user name used to connect to yourSMTP server. It is "
                               "normally the same user name you connect to your ISP with."),
                Kind::Text,
                Setting::UserSMPTServerName,
                {},
                {}};
    }

    WizardStep smtpPassword() const
    {
        return {QStringLiteral("SMTP Server User Password"),
                QStringLiteral("Enter your password for your SMTP server:"),
                QStringLiteral("This is the password used to connect to your SMTP server. It is "
                               "commonly the same password used to connect to your ISP."),
                Kind::Password,
                Setting::UserSMPTServerPassword,
                {},
                {}};
    }

    WizardStep disconnect() const
    {
        return {QStringLiteral("Diconnect After Back Up Sequence"),
                QStringLiteral("Disconnect after a back up sequence:"),
                QStringLiteral("Do you want to disconnect at the end of each back up sequence."),
                Kind::YesNo,
                Setting::DialUpDisconnect,
                {},
                {}};
    }

    WizardStep shutDown() const
    {
        return {QStringLiteral("Shut Down After Back Up Sequence"),
                QStringLiteral("Shut down after each back up sequence:"),
                QStringLiteral(
                    "Do you want to shut the computer down at the end of each back up sequence."),
                Kind::YesNo,
                Setting::ShutDown,
                {},
                {}};
    }

    WizardStep startWithDesktop() const
    {
        return {QStringLiteral("Start %1 On Start Up").arg(name),
                QStringLiteral("Start %1 on start up:").arg(name),
                QStringLiteral("Do you want start %1 each time the computer starts.").arg(name),
                Kind::YesNo,
                Setting::RunEntry,
                {},
                {}};
    }

    WizardStep runOnStartUp() const
    {
        return {QStringLiteral("Run a Back Up Sequence on Start Up"),
                QStringLiteral("Run a back up sequence on start up:"),
                QStringLiteral("Do you want to run a back up sequence each time the computer "
                               "starts.  For this mode to be selected %1 must start up with "
                               "Windows. (The Windows start up mode will automatically be "
                               "updated.)")
                    .arg(name),
                Kind::YesNo,
                Setting::RunOnStartUp,
                {},
                {}};
    }

    WizardStep startMinimised() const
    {
        return {QStringLiteral("Start %1 Minimised").arg(name),
                QStringLiteral("Start %1 minimised:").arg(name),
                QStringLiteral("Do you want to start %1 minimised. When %1 starts minimised it "
                               "runs in the background and it has an icon displayed in the "
                               "Windows tool bar.")
                    .arg(name),
                Kind::YesNo,
                Setting::StartMinimised,
                {},
                {}};
    }

    WizardStep runOnShutDown() const
    {
        return {QStringLiteral("Run Back Up Sequence On Shut Down"),
                QStringLiteral("Run a back up sequence on shut down:"),
                QStringLiteral("Do you want to %1 to run a back up sequence each time the computer "
                               "is shut down. This option easliy allows back up sequences to be "
                               "run on a regular. basis without any User input.  Note: %1 must "
                               "be running when the computer is closed down.")
                    .arg(name),
                Kind::YesNo,
                Setting::RunSequenceOnWindowsShutDown,
                {},
                {}};
    }

    WizardStep backUpAddress() const
    {
        return {
            QStringLiteral("Back Up Email Address"),
            QStringLiteral("Enter your back up email address:"),
            QStringLiteral("This is the email address that the back up files will be emailed to."),
            Kind::Text,
            Setting::UserBackUpEmailAddress,
            {},
            {}};
    }

    WizardStep maxBytes() const
    {
        return {QStringLiteral("Number of Bytes to Back Up in One Sequence"),
                QStringLiteral("Enter the number of bytes (MB)"),
                QStringLiteral("This is maximum number of bytes to be backed up in a single back "
                               "up sequence.  The number must be in MB."),
                Kind::Number,
                Setting::MaxNumberOfBytesToBackedUp,
                {},
                {}};
    }
};

QList<WizardStep> clientSteps(const CommonSteps& common)
{
    const WizardStep userName{
        QStringLiteral("User Name"),
        QStringLiteral("Enter your User name:"),
        QStringLiteral("This is the name that you wish Orrery Limited to use for you for "
                       "correspondence, invoicing, etc.  For some people this may be a company "
                       "name while in other cases it may be an individuals name."),
        Kind::Text,
        Setting::UserQuayName,
        QStringLiteral("User/Company Name"),
        QStringLiteral("Enter your User/Company name.")};
    const WizardStep userAddress{
        QStringLiteral("User Email Address"),
        QStringLiteral("Enter your email address:"),
        QStringLiteral("This is the email address you wish Orrery Limited to use when contacting "
                       "you.  This may be for general correspondence or returning backed up "
                       "files."),
        Kind::Text,
        Setting::UserEmailAddress,
        {},
        {}};
    // The backup address is the service's own and is not asked.
    return {userName,
            userAddress,
            common.zipPassword(),
            common.smtpServerName(),
            common.smtpUserName(),
            common.smtpPassword(),
            common.disconnect(),
            common.shutDown(),
            common.startWithDesktop(),
            common.runOnStartUp(),
            common.startMinimised(),
            common.runOnShutDown()};
}

QList<WizardStep> driveSteps(const CommonSteps& common)
{
    const WizardStep overwrite{
        QStringLiteral("Overwrite Previousily Backed Up Files"),
        QStringLiteral("Overwrite superseded files."),
        QStringLiteral("Do you want to %1 to overwrite previousily backed up files of the same "
                       "name. (Note this will only happen to files in the same folder.)")
            .arg(common.name),
        Kind::YesNo,
        Setting::OverWriteFiles,
        {},
        {}};
    const WizardStep folder{QStringLiteral("Back Up Drive/Folder"),
                            QStringLiteral("Select the drive and folder to back up to."),
                            QStringLiteral("This is the drive and folder the files will be backed "
                                           "up to. It could be a memory stick, network drive, etc"),
                            Kind::Folder,
                            Setting::UserBackUpEmailAddress,
                            {},
                            {}};
    return {common.startWithDesktop(), common.startMinimised(),
            common.runOnStartUp(),     common.shutDown(),
            common.runOnShutDown(),    overwrite,
            common.maxBytes(),         folder};
}

// Without a burner no back up of the CD edition can run.
WizardStep burnerStep()
{
    return {QStringLiteral("Back Up Drive"),
            QStringLiteral("Select the CD or DVD burner, or an image file, to back up to."),
            QStringLiteral("This is the burner the files will be backed up to. Without a burner "
                           "the files can be written to an image file instead (a file ending in "
                           ".iso), which can be burned to a disc later."),
            Kind::Burner,
            Setting::CDBurnerDevice,
            {},
            {}};
}

} // namespace

QList<WizardStep> SetupWizardSteps::forEdition(Edition edition)
{
    const CommonSteps common(editionProfile(edition).name);
    switch (edition) {
    case Edition::KestrelClient:
        return clientSteps(common);
    case Edition::KestrelSolo:
        return {common.zipPassword(),      common.smtpServerName(), common.smtpUserName(),
                common.smtpPassword(),     common.disconnect(),     common.shutDown(),
                common.startWithDesktop(), common.runOnStartUp(),   common.startMinimised(),
                common.runOnShutDown(),    common.backUpAddress()};
    case Edition::KestrelDrive:
        return driveSteps(common);
    case Edition::KestrelCD:
        return {common.startWithDesktop(),
                common.startMinimised(),
                common.runOnStartUp(),
                common.shutDown(),
                common.runOnShutDown(),
                common.maxBytes(),
                burnerStep()};
    }
    return {};
}

QString SetupWizardSteps::caption(Edition edition)
{
    return editionProfile(edition).name + QStringLiteral(" Set Up Wizard");
}

QString SetupWizardSteps::stepLine(int number, int count, const QString& title)
{
    return QStringLiteral("Step %1 of %2: %3").arg(number).arg(count).arg(title);
}
