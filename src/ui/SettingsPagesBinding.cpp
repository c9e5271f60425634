#include "ui/SettingsPagesBinding.h"

#include "core/KestrelError.h"
#include "core/PlatformServices.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/ScheduleChoice.h"
#include "core/Services.h"
#include "core/SettingsError.h"
#include "sequence/SequenceSummary.h"
#include "transport/MailEncryption.h"
#include "ui/BackUpSettingsPage.h"
#include "ui/BurnerField.h"
#include "ui/FolderSelectionPage.h"
#include "ui/OAuthSignInDialog.h"
#include "ui/ScheduleBox.h"
#include "ui/SummaryPage.h"
#include "ui/UserSettingsPage.h"
#include "winintegration/ShellExtension.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>

namespace {

std::optional<double> parseDecimal(const QString& text)
{
    bool ok = false;
    double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok)
        value = QLocale::system().toDouble(text.trimmed(), &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<int> parseWhole(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// The limit in megabytes with the decimals it has, up to whole bytes ("2.5", "0.4",
// "2"), so saving what is shown stores the limit that was read.
QString megabytesFieldText(double bytes)
{
    QString text = QString::number(bytes / 1000000.0, 'f', 6);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

QString floatError(const QString& text)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

QString integerError(const QString& text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

} // namespace

SettingsPagesBinding::SettingsPagesBinding(SummaryPage* summary, UserSettingsPage* user,
                                           BackUpSettingsPage* backUp, FolderSelectionPage* folders,
                                           const bool* suppressCloseTrayPrompt, QObject* parent)
    : QObject(parent), m_summary(summary), m_user(user), m_backUp(backUp), m_folders(folders),
      m_burner(new BurnerField(user->edbCDDrive, this)),
      m_suppressCloseTrayPrompt(suppressCloseTrayPrompt)
{
    connectHandlers();
}

void SettingsPagesBinding::setDiscWriter(std::shared_ptr<DiscWriter> writer)
{
    m_burner->setDiscWriter(std::move(writer));
}

void SettingsPagesBinding::setBox(QCheckBox* box, bool checked)
{
    // A change of state runs the box's handler (connected to toggled), as a click would.
    box->setChecked(checked);
}

void SettingsPagesBinding::refreshFromSettings()
{
    const TQuayRegistryObject store;
    m_refreshing = true;
    const auto done = qScopeGuard([this] { m_refreshing = false; });

    setBox(m_backUp->ckbShutDown, store.ReadShutDown());
    setBox(m_backUp->ckbStartUp, store.ReadRunEntryPresent());
    m_user->edbZipBackUpFilePassword->setText(store.ReadUserZipPassword());
    m_user->edbSMPTServer->setText(store.ReadUserSMPTName());
    m_user->edbSMPTPort->setText(QString::number(store.ReadUserConnectionPort()));
    m_user->cmbSMTPEncryption->setCurrentIndex(
        int(mailEncryptionFromSetting(store.ReadUserSMTPEncryption())));
    m_shownMessageBytesText = megabytesFieldText(store.ReadMaxMessageBytes());
    m_user->edbMaxMessageBytes->setText(m_shownMessageBytesText);
    m_user->spnMaxMessagesPerSequence->setValue(std::max(0, store.ReadMaxMessagesPerSequence()));
    m_user->smtpSignIn.showStored();
    m_user->imapSignIn.showStored();
    m_user->edbSMPTServerUserName->setText(store.ReadUserSMPTServerName());
    m_user->edbSMPTServerUserPassword->setText(store.ReadUserSMPTServerPassword());
    m_user->edbUserBackUpEmailAddress->setText(store.ReadUserBackUpEmailAddress());
    m_burner->setDevice(store.ReadCDBurnerDevice());
    m_user->edbIMAPServer->setText(store.ReadUserIMAPServer());
    // A port no server listens on shows as the one the reader uses instead.
    const int imapPort = store.ReadUserIMAPPort();
    m_user->spnIMAPPort->setValue(imapPort > 0 && imapPort <= 65535 ? imapPort : 993);
    m_user->cmbIMAPEncryption->setCurrentIndex(
        int(mailEncryptionFromSetting(store.ReadUserIMAPEncryption())));
    m_user->edbIMAPUserName->setText(store.ReadUserIMAPUserName());
    m_user->edbIMAPPassword->setText(store.ReadUserIMAPPassword());
    // The stored text, not the INBOX that an empty one reads as: the placeholder says so.
    m_user->edbIMAPMailbox->setText(store.readString(QStringLiteral("UserIMAPMailbox")));
    showImapServerFallback();

    struct
    {
        QLineEdit* field;
        QString value;
    } const summaryFields[] = {
        {m_summary->edbLastBackUp, store.ReadLastBackUp()},
        {m_summary->edbNumberOfFilesLastSequence,
         QString::number(store.ReadNumberOfFilesInLastSequence())},
        {m_summary->edbTotalNumberOfFilesBackedUp, QString::number(store.ReadFileIDNumber())},
        {m_summary->edbTotalNumberOfBackUpSequences,
         QString::number(store.ReadNumberOfBackUpSequences())},
        {m_summary->edbTotalNumberOfBytesBackedUp,
         megabytesText(store.ReadNumberOfBytesBackedUp())},
    };
    for (const auto& [field, value] : summaryFields) {
        field->setText(value);
        field->setReadOnly(true);
        field->setEnabled(false);
    }
    m_shownMaxBytes = store.ReadMaxNumberOfBytesToBackedUp();
    m_shownMaxBytesText = megabytesFieldText(m_shownMaxBytes);
    m_user->edbMaxNumberOfBytes->setText(m_shownMaxBytesText);

    setBox(m_backUp->ckbDisconnectConnection, store.ReadDialUpDisconnect());
    setBox(m_backUp->ckbShutDown, store.ReadShutDown());
    setBox(m_backUp->ckbRunSequenceOnStartUp, store.ReadStartUpAutoRun());
    setBox(m_backUp->ckbStartUp, store.ReadRunEntryPresent());
    setBox(m_backUp->ckbStartUpMinimised, store.ReadStartMinimised());
    setBox(m_backUp->ckbRunBackUpSequenceOnWindowsShutDown,
           store.ReadRunSequenceOnWindowsShutDown());
    setBox(m_folders->ckbBackUpSubFolders, store.ReadBackUpSubFolders());
    setBox(m_backUp->ckbOverWriteFiles, store.ReadOverWriteFiles());
    setBox(m_backUp->ckbLoadLogTree, store.ReadLoadLogTree());
    setBox(m_backUp->ckbLoadDLL, store.ReadDLLRegistered());
    setBox(m_backUp->ckbCloseTray, store.ReadCloseTray());
    setBox(m_backUp->ckbCloseApplicationAfterSequence, store.ReadCloseApplicationAfterSequence());
    showStoredSchedule();

    m_summary->clearStatus();
    for (const QString& line : sequenceSummaryMemo())
        m_summary->addStatusLine(line);
    m_summary->setStatusColour(sequenceSummaryFailed());

    m_user->edbMediaCapacity->setText(QString::number(store.ReadMediaCapacity()));
    m_user->edbUserBackUpEmailAddress->setText(store.ReadUserBackUpEmailAddress());
}

void SettingsPagesBinding::storeSettings()
{
    const TQuayRegistryObject store;
    // An untouched field keeps the limit it showed, also one finer than its decimals.
    const QString limitText = m_user->edbMaxNumberOfBytes->text();
    double limit = m_shownMaxBytes;
    if (limitText != m_shownMaxBytesText) {
        const std::optional<double> megabytes = parseDecimal(limitText);
        limit = megabytes ? *megabytes * 1000000.0 : TQuayRegistryObject::DefaultMaxNumberOfBytes;
    }
    store.WriteMaxNumberOfBytesToBackedUp(limit);
    store.WriteShutDown(m_backUp->ckbShutDown->isChecked());
    store.WriteUserZipPassword(m_user->edbZipBackUpFilePassword->text());
    store.WriteUserSMPTName(m_user->edbSMPTServer->text().trimmed());
    store.WriteUserConnectionPort(parseWhole(m_user->edbSMPTPort->text()).value_or(0));
    store.WriteUserSMTPEncryption(m_user->cmbSMTPEncryption->currentIndex());
    // An untouched field keeps the value it showed, also one finer than its decimals;
    // a text that is no number keeps it as well.
    const QString messageText = m_user->edbMaxMessageBytes->text();
    if (messageText != m_shownMessageBytesText) {
        if (const std::optional<double> megabytes = parseDecimal(messageText))
            store.WriteMaxMessageBytes(*megabytes * 1000000.0);
    }
    store.WriteMaxMessagesPerSequence(m_user->spnMaxMessagesPerSequence->value());
    m_user->smtpSignIn.store();
    m_user->imapSignIn.store();
    store.WriteUserSMPTServerName(m_user->edbSMPTServerUserName->text());
    store.WriteUserSMPTServerPassword(m_user->edbSMPTServerUserPassword->text());
    store.WriteUserBackUpEmailAddress(m_user->edbUserBackUpEmailAddress->text().trimmed());
    store.WriteCDBurnerDevice(m_burner->device());
    store.WriteUserIMAPServer(m_user->edbIMAPServer->text().trimmed());
    store.WriteUserIMAPPort(m_user->spnIMAPPort->value());
    store.WriteUserIMAPEncryption(m_user->cmbIMAPEncryption->currentIndex());
    store.WriteUserIMAPUserName(m_user->edbIMAPUserName->text().trimmed());
    store.WriteUserIMAPPassword(m_user->edbIMAPPassword->text());
    store.WriteUserIMAPMailbox(m_user->edbIMAPMailbox->text().trimmed());
    store.WriteDialUpDisconnect(m_backUp->ckbDisconnectConnection->isChecked());
    store.WriteStartUpAutoRun(m_backUp->ckbRunSequenceOnStartUp->isChecked());
    // An entry that cannot be written must not cost the values stored after it.
    std::optional<KestrelError> runEntryFailure;
    try {
        store.WriteRunEntry(m_backUp->ckbStartUp->isChecked());
    } catch (const KestrelError& error) {
        runEntryFailure = error;
    }
    store.WriteStartMinimised(m_backUp->ckbStartUpMinimised->isChecked());
    store.WriteRunSequenceOnWindowsShutDown(
        m_backUp->ckbRunBackUpSequenceOnWindowsShutDown->isChecked());
    store.WriteCloseApplicationAfterSequence(
        m_backUp->ckbCloseApplicationAfterSequence->isChecked());
    store.WriteBackUpSubFolders(m_folders->ckbBackUpSubFolders->isChecked());
    store.WriteOverWriteFiles(m_backUp->ckbOverWriteFiles->isChecked());
    store.WriteLoadLogTree(m_backUp->ckbLoadLogTree->isChecked());
    store.WriteDLLRegistered(m_backUp->ckbLoadDLL->isChecked());
    store.WriteCloseTray(m_backUp->ckbCloseTray->isChecked());
    // A changed choice reaches the timer when the page is left, not at every keystroke.
    const ScheduleBox* schedule = m_backUp->grbScheduleSettings;
    if (schedule->ckbSchedule->isChecked() && m_appliedSchedule != schedule->chosenSchedule())
        switchSchedule(true);
    else if (!schedule->ckbSchedule->isChecked() && schedule->chosenSchedule().isComplete())
        store.WriteBackUpScheduleChoice(schedule->chosenSchedule().text());
    const QString capacityText = m_user->edbMediaCapacity->text();
    const std::optional<int> capacity = parseWhole(capacityText);
    if (capacity)
        store.WriteMediaCapacity(*capacity);
    if (runEntryFailure)
        throw *runEntryFailure;
    if (!capacity)
        throw KestrelError(integerError(capacityText));
}

void SettingsPagesBinding::registerFileManagerEntry()
{
    try {
        if (registerShellExtension()) {
            const QSignalBlocker block(m_backUp->ckbLoadDLL);
            m_backUp->ckbLoadDLL->setChecked(true);
        }
    } catch (const SettingsError&) {
        // A settings file that cannot be written is told once, by the caller's guard.
        throw;
    } catch (const KestrelError& error) {
        // An action file that cannot be written is told here, so a refresh that ticked
        // the box goes on loading the other settings.
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
    }
}

void SettingsPagesBinding::showStoredSchedule()
{
    ScheduleBox* box = m_backUp->grbScheduleSettings;
    box->showChoice(ScheduleChoice::storedTimes());
    const bool on = ScheduleChoice::storedOn();
    {
        const QSignalBlocker block(box->ckbSchedule);
        box->ckbSchedule->setChecked(on);
    }
    m_appliedSchedule = on ? std::optional(box->chosenSchedule()) : std::nullopt;
    showScheduleState();
}

void SettingsPagesBinding::switchSchedule(bool on)
{
    ScheduleBox* box = m_backUp->grbScheduleSettings;
    try {
        if (on) {
            ScheduleChoice::turnOn(box->chosenSchedule());
            m_appliedSchedule = box->chosenSchedule();
        } else {
            ScheduleChoice::turnOff();
            m_appliedSchedule.reset();
        }
    } catch (const SettingsError&) {
        throw;
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        // The page shows the schedule that runs, so a refused choice is not told again
        // at every save.
        const QSignalBlocker block(box->ckbSchedule);
        box->ckbSchedule->setChecked(m_appliedSchedule.has_value());
        if (m_appliedSchedule)
            box->showChoice(*m_appliedSchedule);
    }
    showScheduleState();
}

void SettingsPagesBinding::showScheduleState()
{
    ScheduleBox* box = m_backUp->grbScheduleSettings;
    ScheduleService& timer = Services::schedule();
    const bool available = timer.available();
    const std::optional<QDateTime> next =
        available && box->ckbSchedule->isChecked() ? timer.nextRun() : std::nullopt;
    box->showState(available, next, ScheduleChoice::runningExecutable());
}

void SettingsPagesBinding::connectHandlers()
{
    BackUpSettingsPage* page = m_backUp;
    const auto writeDialUpDisconnect = [page] {
        TQuayRegistryObject().WriteDialUpDisconnect(page->ckbDisconnectConnection->isChecked());
    };
    for (QCheckBox* box :
         {page->ckbDisconnectConnection, page->ckbOverWriteFiles, page->ckbLoadLogTree})
        connect(box, &QCheckBox::toggled, this, writeDialUpDisconnect);

    const auto writeShutDown = [page] {
        TQuayRegistryObject().WriteShutDown(page->ckbShutDown->isChecked());
    };
    for (QCheckBox* box : {page->ckbShutDown, page->ckbCloseApplicationAfterSequence})
        connect(box, &QCheckBox::toggled, this, writeShutDown);

    const auto writeRunEntry = [page] {
        try {
            TQuayRegistryObject().WriteRunEntry(page->ckbStartUp->isChecked());
        } catch (const KestrelError& error) {
            // Told here, so a refresh that set the box goes on loading the other
            // settings; the box then shows whether an entry is there.
            Services::prompt().notify(error.message(), Prompt::Icon::Error);
            const QSignalBlocker block(page->ckbStartUp);
            page->ckbStartUp->setChecked(TQuayRegistryObject().ReadRunEntryPresent());
        }
    };
    for (QCheckBox* box : {page->ckbStartUp, page->ckbStartUpMinimised})
        connect(box, &QCheckBox::toggled, this, writeRunEntry);

    // Registers or removes the file-manager entry at once. A refresh that ticks the box
    // registers too: that is how the entry comes back at every start.
    connect(page->ckbLoadDLL, &QCheckBox::toggled, this, [this](bool checked) {
        if (checked) {
            registerFileManagerEntry();
            return;
        }
        try {
            removeShellExtension();
        } catch (const SettingsError&) {
            throw;
        } catch (const KestrelError& error) {
            Services::prompt().notify(error.message(), Prompt::Icon::Error);
        }
    });

    connect(page->grbScheduleSettings->ckbSchedule, &QCheckBox::toggled, this,
            [this](bool checked) { switchSchedule(checked); });
    connect(page->grbScheduleSettings, &ScheduleBox::choiceChanged, this,
            [this] { showScheduleState(); });

    connect(page->ckbRunBackUpSequenceOnWindowsShutDown, &QCheckBox::toggled, this,
            [](bool checked) { TQuayRegistryObject().WriteRunSequenceOnWindowsShutDown(checked); });

    connect(page->ckbCloseTray, &QCheckBox::toggled, this, [this](bool checked) {
        // The question is for the user's own click; a refresh only shows the stored value.
        if (checked || m_refreshing || *m_suppressCloseTrayPrompt) {
            TQuayRegistryObject().WriteCloseTray(checked);
            return;
        }
        const auto answer =
            Services::prompt().ask(QStringLiteral("Leaving the tray open will inhibit file burn "
                                                  "verificaton. Do you wish to proceed? "),
                                   Prompt::Buttons::YesNo, Prompt::Icon::Warning);
        if (answer == Prompt::Answer::Yes) {
            TQuayRegistryObject().WriteCloseTray(false);
            return;
        }
        const QSignalBlocker block(m_backUp->ckbCloseTray);
        m_backUp->ckbCloseTray->setChecked(true);
        TQuayRegistryObject().WriteCloseTray(true);
    });

    connect(m_user->btnChangeZipPassword, &QPushButton::clicked, this,
            [this] { changePassword(PasswordField::Zip); });
    connect(m_user->btnChangeSMPTServerUserPassword, &QPushButton::clicked, this,
            [this] { changePassword(PasswordField::Smtp); });
    connect(m_user->btnChangeIMAPPassword, &QPushButton::clicked, this,
            [this] { changePassword(PasswordField::Imap); });
    for (const SignInFields* fields : {&m_user->smtpSignIn, &m_user->imapSignIn}) {
        connect(fields->detailsButton, &QPushButton::clicked, this,
                [this, fields] { fields->editDetails(m_user); });
        connect(fields->signInButton, &QPushButton::clicked, this,
                [this, fields] { signIn(fields->side); });
    }
    connect(m_user->edbSMPTServer, &QLineEdit::textChanged, this,
            &SettingsPagesBinding::showImapServerFallback);
    // The burners are looked for each time the page shows, so one plugged in meanwhile
    // is offered; the field is shown in the CD edition only.
    connect(m_user, &UserSettingsPage::shown, this, [this] {
        if (!m_user->edbCDDrive->isHidden())
            m_burner->search();
    });
    connect(m_user->btnBrowseCDImage, &QPushButton::clicked, m_burner,
            &BurnerField::chooseImageFile);
    connect(m_user->edbMaxNumberOfBytes, &QLineEdit::textChanged, this,
            [this](const QString& text) { checkNumber(text, false); });
    connect(m_user->edbMaxMessageBytes, &QLineEdit::textChanged, this,
            [this](const QString& text) { checkNumber(text, false); });
    connect(m_user->edbMediaCapacity, &QLineEdit::textChanged, this,
            [this](const QString& text) { checkNumber(text, true); });
}

void SettingsPagesBinding::checkNumber(const QString& text, bool wholeNumber)
{
    // The text stays as typed; the message only tells the user.
    if (wholeNumber ? !parseWhole(text) : !parseDecimal(text))
        Services::prompt().notify(wholeNumber ? integerError(text) : floatError(text),
                                  Prompt::Icon::Error);
}

void SettingsPagesBinding::showImapServerFallback()
{
    m_user->edbIMAPServer->setPlaceholderText(
        imapServerFallback(m_user->edbSMPTServer->text().trimmed()));
}

QString SettingsPagesBinding::imapServerFallback(const QString& smtpServer)
{
    const QString smtpPrefix = QStringLiteral("smtp.");
    if (smtpServer.startsWith(smtpPrefix, Qt::CaseInsensitive))
        return QStringLiteral("imap.") + smtpServer.mid(smtpPrefix.size());
    return smtpServer;
}

void SettingsPagesBinding::signIn(MailServerSide side)
{
    // The sign-in reads its client from the store, and an IMAP side without a client
    // of its own takes the SMTP side's, so both are stored first.
    try {
        m_user->smtpSignIn.store();
        m_user->imapSignIn.store();
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Warning);
        return;
    }
    OAuthSignInDialog::signIn(m_user->window(), side);
}

void SettingsPagesBinding::changePassword(PasswordField field)
{
    const QString caption = field == PasswordField::Zip ? QStringLiteral("Change Zip file Password")
                            : field == PasswordField::Smtp
                                ? QStringLiteral("Change SMPT Server Password")
                                : QStringLiteral("Change IMAP Server Password");
    Prompt::PasswordPair typed;
    while (true) {
        const std::optional<Prompt::PasswordPair> entered =
            Services::prompt().askPasswordPair(caption, typed);
        if (!entered)
            return;
        typed = *entered;
        if (typed.first == typed.second)
            break;
        Services::prompt().notify(QStringLiteral("Password not valid.  Please re-enter it."),
                                  Prompt::Icon::Error);
    }
    const TQuayRegistryObject store;
    switch (field) {
    case PasswordField::Zip:
        store.WriteUserZipPassword(typed.first);
        m_user->edbZipBackUpFilePassword->setText(typed.first);
        break;
    case PasswordField::Smtp:
        store.WriteUserSMPTServerPassword(typed.first);
        m_user->edbSMPTServerUserPassword->setText(typed.first);
        break;
    case PasswordField::Imap:
        store.WriteUserIMAPPassword(typed.first);
        m_user->edbIMAPPassword->setText(typed.first);
        break;
    }
}
