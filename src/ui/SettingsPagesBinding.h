#pragma once

#include "core/BackUpSchedule.h"
#include "transport/OAuthClientSettings.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class BurnerField;
class DiscWriter;
class SummaryPage;
class UserSettingsPage;
class BackUpSettingsPage;
class FolderSelectionPage;
class QCheckBox;
class QLineEdit;

// Moves settings between the store and the controls of the two settings pages and
// the Summary page: the refresh, the save routine, the immediate click handlers,
// the input checks, the change-password buttons and the choice of the burner.
class SettingsPagesBinding : public QObject
{
    Q_OBJECT

public:
    SettingsPagesBinding(SummaryPage* summary, UserSettingsPage* user, BackUpSettingsPage* backUp,
                         FolderSelectionPage* folders, const bool* suppressCloseTrayPrompt,
                         QObject* parent = nullptr);

    // Loads every control from the store and writes the summary into the status memo.
    void refreshFromSettings();
    // Stores the settings pages, in the designed order. Throws KestrelError when the
    // media capacity is not a whole number (everything before it is stored).
    void storeSettings();
    // The disc writer that lists the burners of the Drive page; the real xorriso unless set.
    void setDiscWriter(std::shared_ptr<DiscWriter> writer);
    // Registers the file-manager menu entry and, when it is registered, shows
    // ckbLoadDLL checked. A failure is told, not thrown.
    void registerFileManagerEntry();

    // The IMAP server that an empty field stands for: the SMTP server's name with
    // "imap." for a leading "smtp.".
    static QString imapServerFallback(const QString& smtpServer);

private:
    void connectHandlers();
    void setBox(QCheckBox* box, bool checked);
    enum class PasswordField
    {
        Zip,
        Smtp,
        Imap
    };
    void changePassword(PasswordField field);
    void signIn(MailServerSide side);
    void showImapServerFallback();
    void checkNumber(const QString& text, bool wholeNumber);
    void showStoredSchedule();
    // Turns the schedule on with the chosen times, or off; a failure is told.
    void switchSchedule(bool on);
    void showScheduleState();

    SummaryPage* m_summary;
    UserSettingsPage* m_user;
    BackUpSettingsPage* m_backUp;
    FolderSelectionPage* m_folders;
    BurnerField* m_burner;
    const bool* m_suppressCloseTrayPrompt;
    bool m_refreshing = false;
    // The byte limit the last refresh read, and how edbMaxNumberOfBytes showed it.
    double m_shownMaxBytes = 0.0;
    QString m_shownMaxBytesText;
    // How edbMaxMessageBytes showed the largest message at the last refresh.
    QString m_shownMessageBytesText;
    // The schedule the timer was last given; empty while it is off.
    std::optional<BackUpSchedule> m_appliedSchedule;
};
