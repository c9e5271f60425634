#pragma once

#include "core/EditionProfile.h"

#include <QList>
#include <QString>

// How a step of the setup wizard is answered.
enum class WizardStepKind
{
    Text,
    // Typed twice, both masked; the two entries must be equal.
    Password,
    YesNo,
    // Megabytes with three decimals, stored in bytes.
    Number,
    // A path, typed or chosen with "Browse...".
    Folder,
    // The disc burner: one of the burners found, typed, or an image file chosen with
    // "Browse..." ("stdio:<path>").
    Burner
};

// The setting a step's answer is stored in. RunEntry is the start-with-the-desktop
// entry; RunOnStartUp is StartUpAutoRun, whose Yes writes the entry as well.
enum class WizardSetting
{
    UserQuayName,
    UserEmailAddress,
    UserZipPassword,
    UserSMPTName,
    UserSMPTServerName,
    UserSMPTServerPassword,
    DialUpDisconnect,
    ShutDown,
    RunEntry,
    RunOnStartUp,
    StartMinimised,
    RunSequenceOnWindowsShutDown,
    OverWriteFiles,
    MaxNumberOfBytesToBackedUp,
    UserBackUpEmailAddress,
    CDBurnerDevice
};

struct WizardStep
{
    QString title;
    QString question;
    QString explanation;
    WizardStepKind kind;
    WizardSetting setting;
    // What the step shows when the wizard opens on it, where that differs from the
    // title and question it shows when the user comes back to it; empty otherwise.
    QString openingTitle;
    QString openingQuestion;
};

// The wizard's steps of each edition, in order: the questions a backup of that
// edition needs answered.
class SetupWizardSteps
{
public:
    static QList<WizardStep> forEdition(Edition edition);
    // "KestrelSolo Set Up Wizard".
    static QString caption(Edition edition);
    // "Step 3 of 11: SMTP Server Name".
    static QString stepLine(int number, int count, const QString& title);
};
