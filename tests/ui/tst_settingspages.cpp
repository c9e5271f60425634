#include "core/QuayRegistryObject.h"
#include "support/ListingDiscWriter.h"
#include "support/ScriptedOAuthServer.h"
#include "support/TestEnvironment.h"
#include "transport/OAuthClientSettings.h"
#include "ui/BackUpSettingsPage.h"
#include "ui/FolderSelectionPage.h"
#include "ui/QuayPasswordForm.h"
#include "ui/ScheduleBox.h"
#include "ui/SummaryPage.h"
#include "ui/UserSettingsPage.h"
#include "ui/frmKestrelClientMain.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

// The browser the desktop opens: it follows the sign-in address to the scripted
// authorization server, whose answer redirects it to the program's listener.
class FollowingBrowser : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void open(const QUrl& address)
    {
        opened << address;
        network.get(QNetworkRequest(address));
    }

public:
    QNetworkAccessManager network;
    QList<QUrl> opened;
};

// The two settings pages: refresh, save, immediate click handlers, input checks,
// password changes, and the save points of activation and page changes.
class TestSettingsPages : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    std::unique_ptr<TfrmKestrelClientMain> window;

    void open(const QString& edition = QStringLiteral("KestrelSolo"))
    {
        window.reset();
        env = std::make_unique<TestEnvironment>(edition);
        TQuayRegistryObject().WriteWizzardRun(true);
        window = std::make_unique<TfrmKestrelClientMain>();
    }

    // The label whose buddy the field is: a sibling, as the buddy relation requires.
    static QLabel* labelOf(const QWidget* field)
    {
        for (QLabel* label :
             field->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->buddy() == field)
                return label;
        }
        return nullptr;
    }

private Q_SLOTS:
    void cleanup()
    {
        window.reset();
        env.reset();
    }

    void saveStoresEveryFieldInMegabytes()
    {
        open();
        UserSettingsPage* user = window->userSettingsPage;
        user->edbMaxNumberOfBytes->setText("2.5");
        user->edbSMPTServer->setText("smtp.example.net");
        user->edbSMPTPort->setText("587");
        // By the port, unless chosen beside it.
        QCOMPARE(user->cmbSMTPEncryption->currentIndex(), 0);
        QCOMPARE(user->cmbIMAPEncryption->currentIndex(), 0);
        user->cmbSMTPEncryption->setCurrentIndex(1);
        user->cmbIMAPEncryption->setCurrentIndex(2);
        user->edbSMPTServerUserName->setText("me");
        // The token method: the command's row takes the password's.
        window->show();
        QVERIFY(user->edbSMPTServerUserPassword->isVisibleTo(user));
        user->smtpSignIn.method->setCurrentIndex(2);
        QVERIFY(!user->edbSMPTServerUserPassword->isVisibleTo(user));
        QVERIFY(!user->smtpSignIn.signInButton->isVisibleTo(user));
        QVERIFY(user->smtpSignIn.tokenCommand->isVisibleTo(user));
        user->smtpSignIn.tokenCommand->setText(" mail-token --account \"me\" ");
        // OAuth2: the provider takes the password's row, the client ID a row of its own.
        user->imapSignIn.method->setCurrentIndex(1);
        QVERIFY(!user->edbIMAPPassword->isVisibleTo(user));
        QVERIFY(user->imapSignIn.provider->isVisibleTo(user));
        QVERIFY(user->imapSignIn.clientId->isVisibleTo(user));
        QVERIFY(user->imapSignIn.signInButton->isVisibleTo(user));
        user->imapSignIn.provider->setCurrentIndex(
            user->imapSignIn.provider->findText(QStringLiteral("Google")));
        user->imapSignIn.clientId->setText(QStringLiteral(" 1234.apps.example "));
        user->spnMaxMessagesPerSequence->setValue(0);
        user->edbUserBackUpEmailAddress->setText("backup@example.org");
        window->backUpSettingsPage->ckbStartUpMinimised->setChecked(true);
        window->folderSelectionPage->ckbBackUpSubFolders->setChecked(true);
        window->StoreSettings();

        const TQuayRegistryObject store;
        QCOMPARE(store.ReadMaxNumberOfBytesToBackedUp(), 2500000.0);
        QCOMPARE(store.ReadUserSMPTName(), QStringLiteral("smtp.example.net"));
        QCOMPARE(store.ReadUserConnectionPort(), 587);
        QCOMPARE(store.ReadUserSMTPEncryption(), 1);
        QCOMPARE(store.ReadUserIMAPEncryption(), 2);
        QCOMPARE(store.ReadUserSMPTServerName(), QStringLiteral("me"));
        QCOMPARE(store.ReadSMTPAuthMethod(), 2);
        QCOMPARE(store.ReadSMTPTokenCommand(), QStringLiteral("mail-token --account \"me\""));
        QCOMPARE(store.ReadIMAPAuthMethod(), 1);
        QCOMPARE(store.ReadIMAPOAuthProvider(), 3);
        QCOMPARE(store.ReadIMAPOAuthClientId(), QStringLiteral("1234.apps.example"));
        QCOMPARE(store.ReadSMTPOAuthProvider(), 0);
        QCOMPARE(store.ReadMaxMessagesPerSequence(), 0);
        QCOMPARE(store.ReadUserBackUpEmailAddress(), QStringLiteral("backup@example.org"));
        QVERIFY(store.ReadStartMinimised());
        QVERIFY(store.ReadBackUpSubFolders());
        QCOMPARE(store.ReadMediaCapacity(), 650);

        // A number out of range, written elsewhere, shows as by the port.
        store.WriteUserIMAPEncryption(9);
        store.WriteIMAPAuthMethod(2);
        window->RefreshFromSettings();
        QVERIFY(!user->edbIMAPPassword->isVisibleTo(user));
        QCOMPARE(user->smtpSignIn.method->currentText(), QStringLiteral("Token command"));
        QCOMPARE(user->edbMaxNumberOfBytes->text(), QStringLiteral("2.5"));
        QCOMPARE(user->cmbSMTPEncryption->currentIndex(), 1);
        QCOMPARE(user->cmbIMAPEncryption->currentIndex(), 0);
    }

    // Sign In opens the browser at the provider's page and stores the sign-in once the
    // browser comes back; the stored client is what the pages showed.
    void signInFromTheWindow()
    {
        open();
        ScriptedOAuthServer server(QStringLiteral(KESTREL_TEST_SCRIPTS));
        QVERIFY2(server.port() != 0, qPrintable(server.errorText()));
        server.storeAsClient();
        TQuayRegistryObject().WriteSMTPAuthMethod(1);
        window->RefreshFromSettings();
        UserSettingsPage* user = window->userSettingsPage;
        window->show();
        window->pgcKestrel->setCurrentWidget(user);
        QCOMPARE(user->smtpSignIn.provider->currentText(), QStringLiteral("Custom"));
        QVERIFY(user->smtpSignIn.signInButton->isVisibleTo(user));

        FollowingBrowser browser;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
        const auto unset =
            qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); });
        user->smtpSignIn.signInButton->click();
        QCOMPARE(browser.opened.size(), 1);
        QCOMPARE(browser.opened.first().path(), QStringLiteral("/authorize"));
        QVERIFY(!readRefreshToken(MailServerSide::Smtp).isEmpty());
        QCOMPARE(env->prompt.notices().size(), 1);
        QVERIFY2(env->prompt.notices().first().startsWith(QStringLiteral("Signed in")),
                 qPrintable(env->prompt.notices().first()));
        QCOMPARE(server.counts().value(QStringLiteral("authorization_code")).toInt(), 1);
    }

    // Shown in megabytes beside the port and stored with the other fields; a text that
    // is no number keeps the stored limit.
    void largestMessageInMegabytes()
    {
        open();
        QLineEdit* field = window->userSettingsPage->edbMaxMessageBytes;
        const TQuayRegistryObject store;
        QCOMPARE(field->text(), QStringLiteral("20"));
        field->setText(QStringLiteral("17.5"));
        QCOMPARE(store.ReadMaxMessageBytes(), 20000000.0);
        window->StoreSettings();
        QCOMPARE(store.ReadMaxMessageBytes(), 17500000.0);
        window->RefreshFromSettings();
        QCOMPARE(field->text(), QStringLiteral("17.5"));

        field->setText(QStringLiteral("many"));
        QCOMPARE(env->prompt.notices(), QStringList{"'many' is not a valid floating point value"});
        window->StoreSettings();
        QCOMPARE(store.ReadMaxMessageBytes(), 17500000.0);
    }

    void byteLimitKeepsItsDecimals_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("half a megabyte more") << "2.5" << 2500000.0 << "2.5";
        // Shown as "0" it would be saved as 0, which reads as the 2 MB default.
        QTest::newRow("below one megabyte") << "0.4" << 400000.0 << "0.4";
        QTest::newRow("one byte") << "0.000001" << 1.0 << "0.000001";
        QTest::newRow("six decimals") << "1.234567" << 1234567.0 << "1.234567";
        QTest::newRow("trailing zeros") << "7.50" << 7500000.0 << "7.5";
        QTest::newRow("whole megabytes") << "100" << 100000000.0 << "100";
    }

    void byteLimitKeepsItsDecimals()
    {
        QFETCH(QString, typed);
        QFETCH(double, stored);
        QFETCH(QString, shown);
        open();
        QLineEdit* field = window->userSettingsPage->edbMaxNumberOfBytes;
        const TQuayRegistryObject store;
        field->setText(typed);
        window->StoreSettings();
        QCOMPARE(store.ReadMaxNumberOfBytesToBackedUp(), stored);
        const double saved = store.ReadMaxNumberOfBytesToBackedUp();
        window->RefreshFromSettings();
        QCOMPARE(field->text(), shown);
        // Saving what is shown, again and again, leaves the limit exactly as it was.
        for (int round = 0; round < 3; ++round) {
            window->StoreSettings();
            window->RefreshFromSettings();
        }
        QVERIFY(store.ReadMaxNumberOfBytesToBackedUp() == saved);
        QCOMPARE(field->text(), shown);
        QVERIFY(env->prompt.notices().isEmpty());
    }

    void byteLimitFinerThanItsFieldSurvivesASave()
    {
        open();
        const TQuayRegistryObject store;
        QCOMPARE(window->userSettingsPage->edbMaxNumberOfBytes->text(), QStringLiteral("2"));
        // Written by hand in the database: finer than the field's six decimals.
        store.WriteMaxNumberOfBytesToBackedUp(1234.5);
        window->RefreshFromSettings();
        window->StoreSettings();
        QVERIFY(store.ReadMaxNumberOfBytesToBackedUp() == 1234.5);
        // A limit the user types replaces it.
        window->userSettingsPage->edbMaxNumberOfBytes->setText(QStringLiteral("3"));
        window->StoreSettings();
        QCOMPARE(store.ReadMaxNumberOfBytesToBackedUp(), 3000000.0);
    }

    void invalidNumbersAreReportedWhileTyping()
    {
        open();
        window->userSettingsPage->edbMaxNumberOfBytes->setText(QString());
        QCOMPARE(env->prompt.notices(), QStringList{"'' is not a valid floating point value"});
        window->StoreSettings();
        QCOMPARE(TQuayRegistryObject().ReadMaxNumberOfBytesToBackedUp(), 2000000.0);

        window->userSettingsPage->edbMediaCapacity->setText("7x");
        QCOMPARE(env->prompt.notices().last(), QStringLiteral("'7x' is not a valid integer value"));
        window->backUpSettingsPage->ckbCloseTray->setChecked(true);
        QVERIFY_THROWS_EXCEPTION(std::exception, window->StoreSettings());
    }

    void immediateClickHandlers()
    {
        open();
        BackUpSettingsPage* page = window->backUpSettingsPage;
        const TQuayRegistryObject store;
        page->ckbShutDown->click();
        QVERIFY(store.ReadShutDown());
        page->ckbDisconnectConnection->click();
        QVERIFY(store.ReadDialUpDisconnect());
        page->ckbRunBackUpSequenceOnWindowsShutDown->click();
        QVERIFY(store.ReadRunSequenceOnWindowsShutDown());
        page->ckbStartUp->click();
        QVERIFY(env->autostart.present);
        QCOMPARE(env->autostart.calls(), QStringList{"autostart write"});

        // Overwrite is stored only by the next save.
        page->ckbOverWriteFiles->click();
        QVERIFY(!store.ReadOverWriteFiles());
        window->StoreSettings();
        QVERIFY(store.ReadOverWriteFiles());
    }

    void refreshReflectsOtherWriters()
    {
        open();
        const TQuayRegistryObject store;
        store.WriteShutDown(true);
        store.WriteUserSMPTName("elsewhere.example.net");
        env->autostart.present = true;
        window->RefreshFromSettings();
        QVERIFY(window->backUpSettingsPage->ckbShutDown->isChecked());
        QVERIFY(window->backUpSettingsPage->ckbStartUp->isChecked());
        QCOMPARE(window->userSettingsPage->edbSMPTServer->text(),
                 QStringLiteral("elsewhere.example.net"));
        // The change of the start-up box ran its handler, which wrote the entry again.
        QCOMPARE(env->autostart.calls(), QStringList{"autostart write"});
        QVERIFY(env->prompt.unexpected().isEmpty());
    }

    // Ticking hands the schedule to the timer at once; a changed choice goes to it
    // when the settings are stored, once; unticking removes it. The page shows the
    // choice again, and refreshing does not hand it over again.
    void scheduleGoesToTheTimer()
    {
        open();
        ScheduleBox* box = window->backUpSettingsPage->grbScheduleSettings;
        QVERIFY(box->lblNextBackUp->isHidden());
        box->ckbSchedule->click();
        QCOMPARE(env->schedule.calls(), QStringList{"schedule apply daily@12:00"});
        QVERIFY(!box->lblNextBackUp->isHidden());
        QCOMPARE(box->lblNextBackUp->text(), "Next back up: 07/01/2030 07:30:00");

        box->cmbScheduleKind->setCurrentIndex(2);
        QVERIFY(!box->ckbScheduleDays[0]->isHidden());
        box->ckbScheduleDays[2]->click();
        box->ckbScheduleDays[0]->click();
        box->tmeScheduleTime->setTime(QTime(7, 30));
        QCOMPARE(env->schedule.calls().size(), 1);
        window->StoreSettings();
        window->StoreSettings();
        QCOMPARE(env->schedule.calls(), QStringList({"schedule apply daily@12:00",
                                                     "schedule apply weekly:Mon,Wed@07:30"}));

        window = std::make_unique<TfrmKestrelClientMain>();
        box = window->backUpSettingsPage->grbScheduleSettings;
        QVERIFY(box->ckbSchedule->isChecked());
        QCOMPARE(box->chosenSchedule().text(), "weekly:Mon,Wed@07:30");
        QCOMPARE(env->schedule.calls().size(), 2);
        box->ckbSchedule->click();
        QCOMPARE(env->schedule.calls().last(), "schedule remove");
        QVERIFY(box->lblNextBackUp->isHidden());
        QVERIFY(!TQuayRegistryObject().ReadScheduledBackUp());

        // A week without days is refused, said so, and the box stays unticked.
        box->ckbScheduleDays[0]->click();
        box->ckbScheduleDays[2]->click();
        box->ckbSchedule->click();
        QVERIFY(!box->ckbSchedule->isChecked());
        QCOMPARE(env->prompt.notices().size(), 1);
        QCOMPARE(env->schedule.calls().size(), 3);
        QVERIFY(env->prompt.unexpected().isEmpty());
    }

    void withoutSystemdTheCrontabLineShows()
    {
        open();
        env->schedule.isAvailable = false;
        ScheduleBox* box = window->backUpSettingsPage->grbScheduleSettings;
        box->ckbSchedule->click();
        QVERIFY(env->schedule.calls().isEmpty());
        QVERIFY(TQuayRegistryObject().ReadScheduledBackUp());
        QVERIFY(box->lblNextBackUp->isHidden());
        QVERIFY(!box->lblNoTimer->isHidden());
        QVERIFY(box->edbCrontabLine->isReadOnly());
        const QString executable =
            QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
        QCOMPARE(box->edbCrontabLine->text(),
                 "0 12 * * * '" + executable + "' --run --no-shut-down");
        box->cmbScheduleKind->setCurrentIndex(1);
        QCOMPARE(box->edbCrontabLine->text(),
                 "0 */6 * * * '" + executable + "' --run --no-shut-down");
        box->ckbSchedule->click();
        QVERIFY(box->lblNoTimer->isHidden());
        QVERIFY(env->schedule.calls().isEmpty());
    }

    void closeTrayQuestion()
    {
        open(QStringLiteral("KestrelCD"));
        QCheckBox* closeTray = window->backUpSettingsPage->ckbCloseTray;
        closeTray->click(); // checked: stored without a question
        QVERIFY(TQuayRegistryObject().ReadCloseTray());
        window->SuppressCloseTrayPrompt = false;

        env->prompt.queueAnswer(Prompt::Answer::No);
        closeTray->click();
        QVERIFY(closeTray->isChecked());
        QVERIFY(TQuayRegistryObject().ReadCloseTray());

        env->prompt.queueAnswer(Prompt::Answer::Yes);
        closeTray->click();
        QVERIFY(!closeTray->isChecked());
        QVERIFY(!TQuayRegistryObject().ReadCloseTray());
        QCOMPARE(env->prompt.questions().size(), 2);

        // A refresh that reads a changed value asks nothing and keeps that value.
        TQuayRegistryObject().WriteCloseTray(true);
        window->RefreshFromSettings();
        TQuayRegistryObject().WriteCloseTray(false);
        window->RefreshFromSettings();
        QVERIFY(!TQuayRegistryObject().ReadCloseTray());
        QCOMPARE(env->prompt.questions().size(), 2);
    }

    void changingPasswords()
    {
        open();
        env->prompt.queuePasswords(Prompt::PasswordPair{"one", "two"});
        env->prompt.queuePasswords(Prompt::PasswordPair{"s3cret", "s3cret"});
        window->userSettingsPage->btnChangeZipPassword->click();
        QCOMPARE(env->prompt.notices(), QStringList{"Password not valid.  Please re-enter it."});
        QCOMPARE(TQuayRegistryObject().ReadUserZipPassword(), QStringLiteral("s3cret"));
        QCOMPARE(window->userSettingsPage->edbZipBackUpFilePassword->text(),
                 QStringLiteral("s3cret"));
        QCOMPARE(window->userSettingsPage->edbZipBackUpFilePassword->echoMode(),
                 QLineEdit::Password);

        env->prompt.queuePasswords(std::nullopt); // cancel changes nothing
        window->userSettingsPage->btnChangeSMPTServerUserPassword->click();
        QVERIFY(TQuayRegistryObject().ReadUserSMPTServerPassword().isEmpty());

        env->prompt.queuePasswords(Prompt::PasswordPair{"", ""}); // two empty entries remove it
        window->userSettingsPage->btnChangeZipPassword->click();
        QVERIFY(TQuayRegistryObject().ReadUserZipPassword().isEmpty());
        QCOMPARE(env->prompt.shown().first(), QStringLiteral("Change Zip file Password"));
    }

    // The dialog keeps its size, so it must be wide enough for the longest caption
    // it is given, or the title bar cuts the caption short.
    void passwordDialogHoldsItsCaption()
    {
        TQuayPasswordForm form;
        form.setWindowTitle(QStringLiteral("Change SMPT Server Password"));
        QFont bold = form.font();
        bold.setBold(true);
        QVERIFY(form.width() > QFontMetrics(bold).horizontalAdvance(form.windowTitle()) + 100);
        QCOMPARE(form.minimumSize(), form.maximumSize());
    }

    void leavingTheSettingsPageStoresIt()
    {
        open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->pgcKestrel->setCurrentWidget(window->backUpSettingsPage);
        window->userSettingsPage->edbSMPTServer->setText("typed.example.net");
        window->pgcKestrel->setCurrentWidget(window->summaryPage);
        QCOMPARE(TQuayRegistryObject().ReadUserSMPTName(), QStringLiteral("typed.example.net"));
    }

    void activationRefreshesAndDeactivationStores()
    {
        open();
        window->show();
        QApplication::setActiveWindow(window.get());
        QTRY_VERIFY(window->isActiveWindow());
        QTRY_VERIFY(!window->SuppressCloseTrayPrompt);
        QVERIFY(window->summaryPage->statusText().startsWith("Last back up date: "));

        window->userSettingsPage->edbSMPTServer->setText("before.deactivation.example");
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QTRY_VERIFY(!window->isActiveWindow());
        QCOMPARE(TQuayRegistryObject().ReadUserSMPTName(),
                 QStringLiteral("before.deactivation.example"));

        TQuayRegistryObject().WriteNumberOfBackUpSequences(9);
        QApplication::setActiveWindow(window.get());
        QTRY_COMPARE(window->summaryPage->edbTotalNumberOfBackUpSequences->text(),
                     QStringLiteral("9"));
    }

    void fieldsAreNamedByTheirLabels_data()
    {
        QTest::addColumn<QString>("edition");
        for (const char* edition : {"KestrelSolo", "KestrelClient", "KestrelDrive", "KestrelCD"})
            QTest::newRow(edition) << QString::fromLatin1(edition);
    }

    void fieldsAreNamedByTheirLabels()
    {
        QFETCH(QString, edition);
        open(edition);
        QList<QWidget*> fields;
        for (QWidget* page : std::initializer_list<QWidget*>{
                 window->userSettingsPage, window->backUpSettingsPage, window->summaryPage}) {
            // A spin box or a list one can type in is named as a whole; its inner line
            // edit is part of it.
            for (QLineEdit* edit : page->findChildren<QLineEdit*>())
                if (!qobject_cast<QAbstractSpinBox*>(edit->parentWidget()) &&
                    !qobject_cast<QComboBox*>(edit->parentWidget()))
                    fields << edit;
            for (QAbstractSpinBox* spin : page->findChildren<QAbstractSpinBox*>())
                fields << spin;
        }
        QVERIFY(fields.size() >= 9);
        for (QWidget* field : std::as_const(fields)) {
            const QLabel* label = labelOf(field);
            QVERIFY2(label, qPrintable(field->objectName()));
            QString caption = label->text();
            caption.remove(QLatin1Char('&'));
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(field);
            QVERIFY(accessible);
            const QString name = accessible->text(QAccessible::Name);
            QVERIFY2(!name.trimmed().isEmpty(), qPrintable(field->objectName()));
            QCOMPARE(name, caption);
        }

        // The keyboard letters of the settings page's labels lead to one field each and
        // leave the menu bar's letters alone.
        QList<QKeySequence> taken;
        for (QAction* menu : window->menuBar()->actions())
            taken << QKeySequence::mnemonic(menu->text());
        int mnemonics = 0;
        for (const QLabel* label : window->userSettingsPage->findChildren<QLabel*>()) {
            const QKeySequence key = QKeySequence::mnemonic(label->text());
            if (key.isEmpty())
                continue;
            QVERIFY2(!taken.contains(key), qPrintable(label->text()));
            taken << key;
            ++mnemonics;
        }
        QVERIFY(mnemonics >= 8);
    }

    void sessionEndSettingSaysWhereItHolds()
    {
        // Under the offscreen platform with no session manager the session cannot be
        // held back: the page, not a silent check box, tells the user.
        open();
        BackUpSettingsPage* page = window->backUpSettingsPage;
        QVERIFY(!window->sessionEndCanBeHeld());
        QVERIFY(!page->lblSessionEndNotHeld->isHidden());
        page->setSessionEndCanBeHeld(true);
        QVERIFY(page->lblSessionEndNotHeld->isHidden());
        QFile help(QStringLiteral(":/help/600.html"));
        QVERIFY(help.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(help.readAll()).contains(QLatin1String("GNOME")));

        QFile readmeFile(QStringLiteral(KESTREL_TEST_SCRIPTS "/../../README.md"));
        QVERIFY(readmeFile.open(QIODevice::ReadOnly));
        const QString readme = QString::fromUtf8(readmeFile.readAll());
        const QString limits = readme.section(QStringLiteral("## Limits of the desktop"), 1)
                                   .section(QStringLiteral("\n## "), 0, 0)
                                   .simplified();
        for (const char* covered : {"GNOME, on Wayland or on X11", "X11 desktops with a session "
                                                                   "manager"})
            QVERIFY2(limits.contains(QLatin1String(covered)), covered);
        // The two set-up commands stay as they were.
        const QStringList setUp = readme.section(QStringLiteral("```sh\n"), 1, 1)
                                      .section(QStringLiteral("```"), 0, 0)
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(setUp.size(), 2);
        QVERIFY(setUp.at(0).startsWith(QLatin1String("scripts/run.sh ")));
        QVERIFY(setUp.at(1).startsWith(QLatin1String("scripts/test.sh ")));
    }

    // The CD edition's Back Up Drive offers the burners xorriso lists, without
    // waiting for the list, and takes an image file; the choice is stored with the
    // other settings and read back.
    void cdEditionChoosesTheBurnerOrAnImageFile()
    {
        open(QStringLiteral("KestrelCD"));
        const auto writer = std::make_shared<ListingDiscWriter>(
            "Beginning to scan for devices ...\n"
            "Full drive scan done\n"
            "-----------------------------------------------------------------------------\n"
            "0  -dev '/dev/sr0' rwrw-- :  'HL-DT-ST' 'DVDRAM GH24NSD1' \n"
            "1  -dev '/dev/sr1' rwrw-- :  'ASUS    ' 'DRW-24D5MT'\n"
            "-----------------------------------------------------------------------------\n");
        window->setDiscWriter(writer);
        UserSettingsPage* user = window->userSettingsPage;
        QComboBox* drive = user->edbCDDrive;
        QVERIFY(drive->isEditable());
        QCOMPARE(labelOf(drive)->text(), QStringLiteral("Back Up &Drive (XP Default Drive):"));
        QCOMPARE(drive->count(), 0);
        window->show();
        window->pgcKestrel->setCurrentWidget(user);
        QTRY_COMPARE(drive->count(), 2);
        QCOMPARE(drive->itemText(1), QStringLiteral("/dev/sr1"));
        QCOMPARE(drive->itemData(0, Qt::ToolTipRole).toString(),
                 QStringLiteral("HL-DT-ST DVDRAM GH24NSD1"));
        // Nothing was chosen yet: the first burner found is offered.
        QCOMPARE(drive->currentText(), QStringLiteral("/dev/sr0"));
        drive->setCurrentIndex(1);
        window->StoreSettings();
        QCOMPARE(TQuayRegistryObject().ReadCDBurnerDevice(), QStringLiteral("/dev/sr1"));

        // An image file is written as stdio:<path>; one whose folder is missing is refused.
        env->prompt.queueText(env->root() + QStringLiteral("/missing/backup.iso"));
        user->btnBrowseCDImage->click();
        QCOMPARE(env->prompt.notices().size(), 1);
        QCOMPARE(drive->currentText(), QStringLiteral("/dev/sr1"));
        const QString image = env->path(QStringLiteral("discs/backup.iso"));
        env->prompt.queueText(image);
        user->btnBrowseCDImage->click();
        QCOMPARE(env->prompt.shown().last(), QStringLiteral("Select Image File"));
        window->StoreSettings();
        QCOMPARE(TQuayRegistryObject().ReadCDBurnerDevice(), QStringLiteral("stdio:") + image);

        TQuayRegistryObject().WriteCDBurnerDevice(QStringLiteral("/dev/sr0"));
        window->RefreshFromSettings();
        QCOMPARE(drive->currentText(), QStringLiteral("/dev/sr0"));
        QCOMPARE(writer->listings.loadRelaxed(), 1);
    }

    void driveEditionBrowsesForTheBackUpFolder()
    {
        open(QStringLiteral("KestrelDrive"));
        env->prompt.queueText(QStringLiteral("/media/backup"));
        Q_EMIT window->userSettingsPage->backUpAddressDoubleClicked();
        QCOMPARE(window->userSettingsPage->edbUserBackUpEmailAddress->text(),
                 QStringLiteral("/media/backup"));
        QCOMPARE(env->prompt.shown().last(), QStringLiteral("Select Folder"));
    }
};

QTEST_MAIN(TestSettingsPages)
#include "tst_settingspages.moc"
