#include "core/SetupWizardProcedure.h"

#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cmath>
#include <optional>

namespace {

// The number as the user writes it, with a point or with the desktop's decimal sign.
std::optional<double> parseMegabytes(const QString& text)
{
    bool ok = false;
    double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok)
        value = QLocale::system().toDouble(text.trimmed(), &ok);
    // "inf" and "nan" convert, but are no limit a sequence can count towards.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString megabytesText(double bytes)
{
    return QString::number(bytes / 1000000.0, 'f', 3);
}

} // namespace

SetupWizardProcedure::SetupWizardProcedure() : SetupWizardProcedure(currentEdition())
{}

SetupWizardProcedure::SetupWizardProcedure(Edition edition)
    : m_steps(SetupWizardSteps::forEdition(edition))
{}

SetupWizardProcedure::Shown SetupWizardProcedure::shown() const
{
    const WizardStep& step = m_steps.at(m_current - 1);
    const bool opening = m_opening && !step.openingTitle.isEmpty();
    Shown view;
    view.stepLine = SetupWizardSteps::stepLine(m_current, stepCount(),
                                               opening ? step.openingTitle : step.title);
    view.question = opening ? step.openingQuestion : step.question;
    view.explanation = step.explanation;
    view.kind = step.kind;
    if (step.kind == WizardStepKind::YesNo)
        view.yes = currentYes(step);
    else
        view.text = currentText(step);
    // Once shown, "<< Back" stays, also on step 1, where it stores the answer and
    // stays there.
    if (m_current >= 2)
        m_backShown = true;
    view.backVisible = m_backShown;
    view.nextCaption =
        m_current == stepCount() ? QStringLiteral("Finish") : QStringLiteral("Next >>");
    return view;
}

SetupWizardProcedure::Outcome SetupWizardProcedure::next(const Answer& answer)
{
    m_direction = Direction::Forward;
    return runStep(answer);
}

SetupWizardProcedure::Outcome SetupWizardProcedure::back(const Answer& answer)
{
    m_direction = Direction::Back;
    return runStep(answer);
}

bool SetupWizardProcedure::confirmCancel() const
{
    return Services::prompt().ask(QStringLiteral("Do you want to exit the set up wizard?")) ==
           Prompt::Answer::Yes;
}

SetupWizardProcedure::Outcome SetupWizardProcedure::runStep(const Answer& answer)
{
    const WizardStep& step = m_steps.at(m_current - 1);
    try {
        if (!storeAnswer(step, answer))
            return Outcome::Stayed;
        if (m_current == stepCount() && m_direction == Direction::Forward) {
            TQuayRegistryObject().WriteWizzardRun(true);
            Services::prompt().notify(QStringLiteral("The set up wizard is complete."));
            return Outcome::Finished;
        }
    } catch (const KestrelError& error) {
        // An answer that could not be stored is told, and the step stays to be answered
        // again rather than passed as if it had been kept.
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        return Outcome::Stayed;
    }
    m_current = m_direction == Direction::Forward ? m_current + 1 : qMax(1, m_current - 1);
    m_direction = Direction::Back;
    m_opening = false;
    // The untouched limit counts only on the step it was shown on.
    m_shownBytesText.reset();
    return Outcome::Moved;
}

bool SetupWizardProcedure::storeAnswer(const WizardStep& step, const Answer& answer)
{
    const TQuayRegistryObject store;
    if (step.kind == WizardStepKind::Password && answer.text != answer.verification) {
        Services::prompt().notify(QStringLiteral("Password not valid.  Please re-enter it."));
        return false;
    }
    if (const QString refused = refusal(step, answer); !refused.isEmpty()) {
        Services::prompt().notify(refused, Prompt::Icon::Warning);
        return false;
    }
    switch (step.setting) {
    case WizardSetting::UserQuayName:
        store.WriteUserQuayName(answer.text);
        break;
    case WizardSetting::UserEmailAddress:
        store.WriteUserEmailAddress(answer.text.trimmed());
        break;
    case WizardSetting::UserZipPassword:
        store.WriteUserZipPassword(answer.text);
        break;
    case WizardSetting::UserSMPTName:
        // A host name: blanks around it would only make the connection fail.
        store.WriteUserSMPTName(answer.text.trimmed());
        break;
    case WizardSetting::UserSMPTServerName:
        store.WriteUserSMPTServerName(answer.text);
        break;
    case WizardSetting::UserSMPTServerPassword:
        store.WriteUserSMPTServerPassword(answer.text);
        break;
    case WizardSetting::DialUpDisconnect:
        store.WriteDialUpDisconnect(answer.yes);
        break;
    case WizardSetting::ShutDown:
        store.WriteShutDown(answer.yes);
        break;
    case WizardSetting::RunEntry:
        store.WriteRunEntry(answer.yes);
        break;
    case WizardSetting::RunOnStartUp:
        store.WriteStartUpAutoRun(answer.yes);
        // A sequence on start-up needs the program started with the desktop.
        if (answer.yes)
            store.WriteRunEntry(true);
        break;
    case WizardSetting::StartMinimised:
        store.WriteStartMinimised(answer.yes);
        break;
    case WizardSetting::RunSequenceOnWindowsShutDown:
        store.WriteRunSequenceOnWindowsShutDown(answer.yes);
        break;
    case WizardSetting::OverWriteFiles:
        store.WriteOverWriteFiles(answer.yes);
        break;
    case WizardSetting::MaxNumberOfBytesToBackedUp: {
        if (m_shownBytesText && answer.text == *m_shownBytesText) {
            store.WriteMaxNumberOfBytesToBackedUp(m_shownBytes);
            break;
        }
        const std::optional<double> megabytes = parseMegabytes(answer.text);
        if (!megabytes) {
            Services::prompt().notify(
                QStringLiteral("Number entered is not valid.  Please re-enter number."),
                Prompt::Icon::Error);
            m_direction = Direction::Back;
            break;
        }
        store.WriteMaxNumberOfBytesToBackedUp(*megabytes * 1000000.0);
        break;
    }
    case WizardSetting::UserBackUpEmailAddress:
        store.WriteUserBackUpEmailAddress(answer.text.trimmed());
        break;
    case WizardSetting::CDBurnerDevice:
        store.WriteCDBurnerDevice(answer.text.trimmed());
        break;
    }
    return true;
}

QString SetupWizardProcedure::refusal(const WizardStep& step, const Answer& answer)
{
    const QString text = answer.text.trimmed();
    if (step.kind == WizardStepKind::Folder && !QFileInfo(text).isDir()) {
        if (text.isEmpty())
            return QStringLiteral("Select the folder to back up to.");
        return QStringLiteral("The folder \"%1\" does not exist. Select a folder that exists, "
                              "or create it first.")
            .arg(QDir::toNativeSeparators(text));
    }
    if (step.kind == WizardStepKind::Burner) {
        if (text.isEmpty())
            return QStringLiteral("Select the burner, or an image file, to back up to.");
        // The burn makes an image file, but not the folder it goes in.
        const QString imagePrefix = QStringLiteral("stdio:");
        const QFileInfo image(text.mid(imagePrefix.size()));
        if (text.startsWith(imagePrefix) && (image.isDir() || !image.absoluteDir().exists()))
            return QStringLiteral("The image file \"%1\" cannot be written: its folder does "
                                  "not exist.")
                .arg(QDir::toNativeSeparators(image.filePath()));
    }
    return {};
}

QString SetupWizardProcedure::currentText(const WizardStep& step) const
{
    const TQuayRegistryObject store;
    switch (step.setting) {
    case WizardSetting::UserQuayName:
        return store.ReadUserQuayName();
    case WizardSetting::UserEmailAddress:
        return store.ReadUserEmailAddress();
    case WizardSetting::UserZipPassword:
        return store.ReadUserZipPassword();
    case WizardSetting::UserSMPTName:
        return store.ReadUserSMPTName();
    case WizardSetting::UserSMPTServerName:
        return store.ReadUserSMPTServerName();
    case WizardSetting::UserSMPTServerPassword:
        return store.ReadUserSMPTServerPassword();
    case WizardSetting::MaxNumberOfBytesToBackedUp:
        m_shownBytes = store.ReadMaxNumberOfBytesToBackedUp();
        m_shownBytesText = megabytesText(m_shownBytes);
        return *m_shownBytesText;
    case WizardSetting::UserBackUpEmailAddress:
        return store.ReadUserBackUpEmailAddress();
    case WizardSetting::CDBurnerDevice:
        return store.ReadCDBurnerDevice();
    default:
        return {};
    }
}

bool SetupWizardProcedure::currentYes(const WizardStep& step) const
{
    const TQuayRegistryObject store;
    switch (step.setting) {
    case WizardSetting::DialUpDisconnect:
        return store.ReadDialUpDisconnect();
    case WizardSetting::ShutDown:
        return store.ReadShutDown();
    case WizardSetting::RunEntry:
        return store.ReadRunEntryPresent();
    case WizardSetting::RunOnStartUp:
        return store.ReadStartUpAutoRun();
    case WizardSetting::StartMinimised:
        return store.ReadStartMinimised();
    case WizardSetting::RunSequenceOnWindowsShutDown:
        return store.ReadRunSequenceOnWindowsShutDown();
    case WizardSetting::OverWriteFiles:
        return store.ReadOverWriteFiles();
    default:
        return false;
    }
}
