#include "ui/UserSettingsPage.h"

#include "ui/ControlHelpers.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QLineEdit* maskedField(QWidget* parent, const QString& name)
{
    QLineEdit* edit = makeEdit(parent, name);
    edit->setReadOnly(true);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

// The encryption choices, in the order of the settings' numbers.
QComboBox* encryptionBox(QWidget* parent, const QString& name, const QString& tlsPort)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems({QStringLiteral("By port (TLS on %1, else STARTTLS)").arg(tlsPort),
                   QStringLiteral("TLS from the start"), QStringLiteral("STARTTLS"),
                   QStringLiteral("None (this computer only)")});
    box->setToolTip(QStringLiteral("How the connection is encrypted"));
    box->setAccessibleName(QStringLiteral("Encryption"));
    return box;
}
} // namespace

UserSettingsPage::UserSettingsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tbsInternetSettings"));
    setHelpContext(this, 500);
    auto* layout = new QVBoxLayout(this);

    // Every field's label is its buddy, so a screen reader announces the field by its
    // caption; the "&" letters are unique on the page and differ from the menu bar's.
    grbUserInformation =
        makeGroup(this, QStringLiteral("grbUserInformation"), QStringLiteral("User Information"));
    auto* user = new QGridLayout(grbUserInformation);
    edbZipBackUpFilePassword =
        maskedField(grbUserInformation, QStringLiteral("edbZipBackUpFilePassword"));
    lblZipBackUp =
        makeLabel(grbUserInformation, QStringLiteral("lblZipBackUp"),
                  QStringLiteral("&Zip Back Up File Password:"), edbZipBackUpFilePassword);
    btnChangeZipPassword =
        makeButton(grbUserInformation, QStringLiteral("btnChangeZipPassword"),
                   QStringLiteral("Change"), QStringLiteral("Change Zip Back Up File Password"));
    // Three buttons read "Change": each is announced by what it changes.
    btnChangeZipPassword->setAccessibleName(QStringLiteral("Change Zip Password"));
    edbUserBackUpEmailAddress =
        makeEdit(grbUserInformation, QStringLiteral("edbUserBackUpEmailAddress"));
    edbUserBackUpEmailAddress->installEventFilter(this);
    lblEmailAddress =
        makeLabel(grbUserInformation, QStringLiteral("lblEmailAddress"),
                  QStringLiteral("Back Up &Email Address:"), edbUserBackUpEmailAddress);
    edbCDDrive = new QComboBox(grbUserInformation);
    edbCDDrive->setObjectName(QStringLiteral("edbCDDrive"));
    lblBackUpDrive = makeLabel(grbUserInformation, QStringLiteral("lblBackUpDrive"),
                               QStringLiteral("Back Up &Drive (XP Default Drive):"), edbCDDrive);
    btnBrowseCDImage = makeButton(grbUserInformation, QStringLiteral("btnBrowseCDImage"),
                                  QStringLiteral("Image File..."),
                                  QStringLiteral("Write to an image file instead of a disc"));
    btnBrowseCDImage->setAccessibleName(QStringLiteral("Choose Image File"));
    edbMaxNumberOfBytes = makeEdit(grbUserInformation, QStringLiteral("edbMaxNumberOfBytes"));
    lblMaxNumberOfBytes =
        makeLabel(grbUserInformation, QStringLiteral("lblMaxNumberOfBytes"),
                  QStringLiteral("&Maximum Number Of Bytes To Back Up in One Sequence (MB):"),
                  edbMaxNumberOfBytes);
    // The longest caption of the column takes two lines rather than the room of the
    // fields beside it, which show paths.
    lblMaxNumberOfBytes->setWordWrap(true);
    edbMediaCapacity = makeEdit(grbUserInformation, QStringLiteral("edbMediaCapacity"));
    lblMediaCapacity =
        makeLabel(grbUserInformation, QStringLiteral("lblMediaCapacity"),
                  QStringLiteral("Maximum Media &Capacity  (MB):"), edbMediaCapacity);
    lblMediaCapacity->setVisible(false);
    edbMediaCapacity->setVisible(false);

    user->addWidget(lblZipBackUp, 0, 0);
    user->addWidget(edbZipBackUpFilePassword, 0, 1);
    user->addWidget(btnChangeZipPassword, 0, 2);
    user->addWidget(lblEmailAddress, 1, 0);
    user->addWidget(edbUserBackUpEmailAddress, 1, 1, 1, 2);
    user->addWidget(lblBackUpDrive, 2, 0);
    user->addWidget(edbCDDrive, 2, 1);
    user->addWidget(btnBrowseCDImage, 2, 2);
    user->addWidget(lblMaxNumberOfBytes, 3, 0);
    user->addWidget(edbMaxNumberOfBytes, 3, 1, 1, 2);
    user->addWidget(lblMediaCapacity, 4, 0);
    user->addWidget(edbMediaCapacity, 4, 1, 1, 2);
    // The fields take the room; a button beside one keeps the size of its caption.
    user->setColumnStretch(1, 1);
    layout->addWidget(grbUserInformation);

    grbSMTPInformation =
        makeGroup(this, QStringLiteral("grbSMTPInformation"), QStringLiteral("SMTP Information"));
    auto* smtp = new QGridLayout(grbSMTPInformation);
    edbSMPTServer = makeEdit(grbSMTPInformation, QStringLiteral("edbSMPTServer"));
    edbSMPTPort =
        makeEdit(grbSMTPInformation, QStringLiteral("edbSMPTPort"),
                 QStringLiteral("Port of the SMTP server: 25, 587 (STARTTLS) or 465 (TLS)"));
    edbSMPTPort->setValidator(new QIntValidator(1, 65535, edbSMPTPort));
    edbMaxMessageBytes =
        makeEdit(grbSMTPInformation, QStringLiteral("edbMaxMessageBytes"),
                 QStringLiteral("The largest message sent, in megabytes; larger back ups go out "
                                "in parts. A smaller limit the server announces counts first."));
    edbSMPTServerUserName = makeEdit(grbSMTPInformation, QStringLiteral("edbSMPTServerUserName"));
    edbSMPTServerUserPassword =
        maskedField(grbSMTPInformation, QStringLiteral("edbSMPTServerUserPassword"));
    btnChangeSMPTServerUserPassword =
        makeButton(grbSMTPInformation, QStringLiteral("btnChangeSMPTServerUserPassword"),
                   QStringLiteral("Change"), QStringLiteral("Change SMTP Server User Password"));
    btnChangeSMPTServerUserPassword->setAccessibleName(QStringLiteral("Change SMTP Password"));
    smtp->addWidget(makeLabel(grbSMTPInformation, QStringLiteral("lblSMPTServer"),
                              QStringLiteral("&SMTP Server:"), edbSMPTServer),
                    0, 0);
    smtp->addWidget(edbSMPTServer, 0, 1, 1, 2);
    smtp->addWidget(makeLabel(grbSMTPInformation, QStringLiteral("lblSMPTPort"),
                              QStringLiteral("SMTP &Port:"), edbSMPTPort),
                    1, 0);
    smtp->addWidget(edbSMPTPort, 1, 1);
    cmbSMTPEncryption = encryptionBox(grbSMTPInformation, QStringLiteral("cmbSMTPEncryption"),
                                      QStringLiteral("465"));
    smtp->addWidget(cmbSMTPEncryption, 1, 2);
    smtp->addWidget(makeLabel(grbSMTPInformation, QStringLiteral("lblMaxMessageBytes"),
                              QStringLiteral("&Largest Message (MB):"), edbMaxMessageBytes),
                    2, 0);
    smtp->addWidget(edbMaxMessageBytes, 2, 1, 1, 2);
    smtpSignIn = SignInFields::make(grbSMTPInformation, MailServerSide::Smtp,
                                    QStringLiteral("SMTP To&ken Command:"));
    smtp->addWidget(makeLabel(grbSMTPInformation, QStringLiteral("lblSMTPSignIn"),
                              QStringLiteral("SMTP Sign-in:"), smtpSignIn.method),
                    3, 0);
    smtp->addWidget(makeLabel(grbSMTPInformation, QStringLiteral("lblSMPTServerUserName"),
                              QStringLiteral("SMTP Server User &Name:"), edbSMPTServerUserName),
                    4, 0);
    smtp->addWidget(edbSMPTServerUserName, 4, 1, 1, 2);
    QLabel* smtpPasswordLabel =
        makeLabel(grbSMTPInformation, QStringLiteral("lblSMPTServerUserPassword"),
                  QStringLiteral("SMTP Server User Pass&word:"), edbSMPTServerUserPassword);
    smtp->addWidget(smtpPasswordLabel, 5, 0);
    smtp->addWidget(edbSMPTServerUserPassword, 5, 1);
    smtp->addWidget(btnChangeSMPTServerUserPassword, 5, 2);
    // The token's command or the OAuth2 provider takes the password's row.
    smtpSignIn.place(smtp, 3, 5);
    smtpSignIn.follow(
        {smtpPasswordLabel, edbSMPTServerUserPassword, btnChangeSMPTServerUserPassword});
    spnMaxMessagesPerSequence = new QSpinBox(grbSMTPInformation);
    spnMaxMessagesPerSequence->setObjectName(QStringLiteral("spnMaxMessagesPerSequence"));
    spnMaxMessagesPerSequence->setRange(0, 100000);
    spnMaxMessagesPerSequence->setSpecialValueText(QStringLiteral("No limit"));
    spnMaxMessagesPerSequence->setToolTip(
        QStringLiteral("Mail providers allow an account a few hundred to a few thousand "
                       "messages a day; the files beyond this many wait for the next sequence."));
    smtp->addWidget(makeLabel(grbSMTPInformation, QStringLiteral("lblMaxMessagesPerSequence"),
                              QStringLiteral("Most Messa&ges in One Sequence:"),
                              spnMaxMessagesPerSequence),
                    7, 0);
    smtp->addWidget(spnMaxMessagesPerSequence, 7, 1);
    layout->addWidget(grbSMTPInformation);

    grbIMAPInformation = makeGroup(this, QStringLiteral("grbIMAPInformation"),
                                   QStringLiteral("Mailbox (IMAP) for restores"));
    auto* imap = new QGridLayout(grbIMAPInformation);
    edbIMAPServer = makeEdit(grbIMAPInformation, QStringLiteral("edbIMAPServer"),
                             QStringLiteral("The IMAP server of the backup mailbox; empty, the "
                                            "SMTP server's name with imap. for smtp."));
    spnIMAPPort = new QSpinBox(grbIMAPInformation);
    spnIMAPPort->setObjectName(QStringLiteral("spnIMAPPort"));
    spnIMAPPort->setRange(1, 65535);
    spnIMAPPort->setValue(993);
    spnIMAPPort->setToolTip(QStringLiteral("993 (TLS) or 143 (STARTTLS)"));
    edbIMAPUserName = makeEdit(grbIMAPInformation, QStringLiteral("edbIMAPUserName"));
    edbIMAPUserName->setPlaceholderText(QStringLiteral("as for SMTP"));
    edbIMAPPassword = maskedField(grbIMAPInformation, QStringLiteral("edbIMAPPassword"));
    edbIMAPPassword->setPlaceholderText(QStringLiteral("as for SMTP"));
    btnChangeIMAPPassword =
        makeButton(grbIMAPInformation, QStringLiteral("btnChangeIMAPPassword"),
                   QStringLiteral("Change"), QStringLiteral("Change IMAP Server User Password"));
    btnChangeIMAPPassword->setAccessibleName(QStringLiteral("Change IMAP Password"));
    edbIMAPMailbox = makeEdit(grbIMAPInformation, QStringLiteral("edbIMAPMailbox"),
                              QStringLiteral("The folder of the mailbox the back ups arrive in."));
    edbIMAPMailbox->setPlaceholderText(QStringLiteral("INBOX"));
    imap->addWidget(makeLabel(grbIMAPInformation, QStringLiteral("lblIMAPServer"),
                              QStringLiteral("IMAP Ser&ver:"), edbIMAPServer),
                    0, 0);
    imap->addWidget(edbIMAPServer, 0, 1, 1, 2);
    imap->addWidget(makeLabel(grbIMAPInformation, QStringLiteral("lblIMAPPort"),
                              QStringLiteral("IMAP Po&rt:"), spnIMAPPort),
                    1, 0);
    imap->addWidget(spnIMAPPort, 1, 1);
    cmbIMAPEncryption = encryptionBox(grbIMAPInformation, QStringLiteral("cmbIMAPEncryption"),
                                      QStringLiteral("993"));
    imap->addWidget(cmbIMAPEncryption, 1, 2);
    imapSignIn = SignInFields::make(grbIMAPInformation, MailServerSide::Imap,
                                    QStringLiteral("IMAP Token Command:"));
    imapSignIn.tokenCommand->setPlaceholderText(QStringLiteral("as for SMTP"));
    imapSignIn.clientId->setPlaceholderText(QStringLiteral("as for SMTP"));
    imap->addWidget(makeLabel(grbIMAPInformation, QStringLiteral("lblIMAPSignIn"),
                              QStringLiteral("IMAP Sign-in:"), imapSignIn.method),
                    2, 0);
    imap->addWidget(makeLabel(grbIMAPInformation, QStringLiteral("lblIMAPUserName"),
                              QStringLiteral("IMAP &User Name:"), edbIMAPUserName),
                    3, 0);
    imap->addWidget(edbIMAPUserName, 3, 1, 1, 2);
    QLabel* imapPasswordLabel = makeLabel(grbIMAPInformation, QStringLiteral("lblIMAPPassword"),
                                          QStringLiteral("IMAP P&assword:"), edbIMAPPassword);
    imap->addWidget(imapPasswordLabel, 4, 0);
    imap->addWidget(edbIMAPPassword, 4, 1);
    imap->addWidget(btnChangeIMAPPassword, 4, 2);
    imapSignIn.place(imap, 2, 4);
    imapSignIn.follow({imapPasswordLabel, edbIMAPPassword, btnChangeIMAPPassword});
    imap->addWidget(makeLabel(grbIMAPInformation, QStringLiteral("lblIMAPMailbox"),
                              QStringLiteral("Mailbo&x Folder:"), edbIMAPMailbox),
                    6, 0);
    imap->addWidget(edbIMAPMailbox, 6, 1, 1, 2);
    layout->addWidget(grbIMAPInformation);
    layout->addStretch();
}

void UserSettingsPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Q_EMIT shown();
}

bool UserSettingsPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edbUserBackUpEmailAddress && event->type() == QEvent::MouseButtonDblClick)
        Q_EMIT backUpAddressDoubleClicked();
    return QWidget::eventFilter(watched, event);
}
