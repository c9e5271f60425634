#pragma once

#include "ui/SignInFields.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QComboBox;
class QSpinBox;

// The "User Settings" page ("Drive" in the drive and CD editions): backup address,
// zip password, byte limit, drive details, the SMTP fields and the mailbox that
// restores read, each server with its sign-in method.
class UserSettingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit UserSettingsPage(QWidget* parent = nullptr);

    QGroupBox* grbUserInformation;
    QLabel* lblZipBackUp;
    QLineEdit* edbZipBackUpFilePassword;
    QPushButton* btnChangeZipPassword;
    QLabel* lblEmailAddress;
    QLineEdit* edbUserBackUpEmailAddress;
    QLabel* lblBackUpDrive;
    // The disc burner (KestrelCD): a burner found on this computer or an image file.
    QComboBox* edbCDDrive;
    QPushButton* btnBrowseCDImage;
    QLabel* lblMaxNumberOfBytes;
    QLineEdit* edbMaxNumberOfBytes;
    QLabel* lblMediaCapacity;
    QLineEdit* edbMediaCapacity;

    QGroupBox* grbSMTPInformation;
    QLineEdit* edbSMPTServer;
    QLineEdit* edbSMPTPort;
    // How the SMTP and IMAP connections are encrypted, in the order of the settings'
    // numbers (MailEncryption).
    QComboBox* cmbSMTPEncryption;
    QLineEdit* edbMaxMessageBytes;
    QSpinBox* spnMaxMessagesPerSequence;
    QLineEdit* edbSMPTServerUserName;
    QLineEdit* edbSMPTServerUserPassword;
    QPushButton* btnChangeSMPTServerUserPassword;
    SignInFields smtpSignIn;

    // The mailbox that restores read (KestrelSolo only). Empty fields fall back to the
    // SMTP values, which their placeholder texts show.
    QGroupBox* grbIMAPInformation;
    QLineEdit* edbIMAPServer;
    QSpinBox* spnIMAPPort;
    QComboBox* cmbIMAPEncryption;
    QLineEdit* edbIMAPUserName;
    QLineEdit* edbIMAPPassword;
    QPushButton* btnChangeIMAPPassword;
    SignInFields imapSignIn;
    QLineEdit* edbIMAPMailbox;

Q_SIGNALS:
    // The backup address field was double-clicked (the drive edition's folder browse).
    void backUpAddressDoubleClicked();
    void shown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
