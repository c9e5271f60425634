#include "core/QuayRegistryObject.h"
#include "core/SetupWizardSteps.h"
#include "support/ListingDiscWriter.h"
#include "support/TestEnvironment.h"
#include "ui/MainMenus.h"
#include "ui/SummaryPage.h"
#include "ui/UserSettingsPage.h"
#include "ui/frmKestrelClientMain.h"
#include "ui/frmKestrelWizard.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>

// The setup wizard's window under the offscreen platform, driven by its buttons, and
// the two ways the main window opens it.
class TestSetupWizard : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;

    static QList<TfrmKestrelWizard*> wizards()
    {
        QList<TfrmKestrelWizard*> found;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* wizard = qobject_cast<TfrmKestrelWizard*>(widget))
                found << wizard;
        }
        return found;
    }

    static bool released(const QPointer<TfrmKestrelWizard>& wizard)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return wizard.isNull();
    }

    static void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // The step shown is step n of the edition's table, with the controls of its kind.
    static void verifyStep(TfrmKestrelWizard* wizard, int n, bool opening)
    {
        const QList<WizardStep> steps = SetupWizardSteps::forEdition(currentEdition());
        const WizardStep& step = steps.at(n - 1);
        const bool ownOpening = opening && !step.openingTitle.isEmpty();
        QCOMPARE(wizard->lblStepNumber->text(),
                 SetupWizardSteps::stepLine(n, static_cast<int>(steps.size()),
                                            ownOpening ? step.openingTitle : step.title));
        QCOMPARE(wizard->lblActionRequired->text(),
                 ownOpening ? step.openingQuestion : step.question);
        QCOMPARE(wizard->memStepDescription->toPlainText(), step.explanation);
        const bool password = step.kind == WizardStepKind::Password;
        const bool burner = step.kind == WizardStepKind::Burner;
        QCOMPARE(wizard->edbUserInfo->isVisible(), step.kind != WizardStepKind::YesNo && !burner);
        QCOMPARE(wizard->cmbBurner->isVisible(), burner);
        QCOMPARE(wizard->edbUserInfo->echoMode(),
                 password ? QLineEdit::Password : QLineEdit::Normal);
        QCOMPARE(wizard->edbPasswordVerification->isVisible(), password);
        QCOMPARE(wizard->lblVerifyPassword->isVisible(), password);
        QCOMPARE(wizard->cmbUserChoice->isVisible(), step.kind == WizardStepKind::YesNo);
        QCOMPARE(wizard->btnBrowseForFolder->isVisible(),
                 step.kind == WizardStepKind::Folder || burner);
        QCOMPARE(wizard->btnNext->text(), QString(n == steps.size() ? "Finish" : "Next >>"));
    }

    // The answer this test gives to step n, as its field shows it.
    QString answerOf(int n) const
    {
        switch (SetupWizardSteps::forEdition(currentEdition()).at(n - 1).kind) {
        case WizardStepKind::Text:
            return QStringLiteral("answer %1").arg(n);
        case WizardStepKind::Password:
            return QStringLiteral("secret %1").arg(n);
        case WizardStepKind::YesNo:
            return QStringLiteral("Yes");
        case WizardStepKind::Number:
            return QStringLiteral("4.250");
        case WizardStepKind::Folder:
            return env->root() + QStringLiteral("/backups");
        case WizardStepKind::Burner:
            return QStringLiteral("stdio:") + env->root() + QStringLiteral("/backup.iso");
        }
        return {};
    }

    void answer(TfrmKestrelWizard* wizard, int n)
    {
        const QString value = answerOf(n);
        switch (SetupWizardSteps::forEdition(currentEdition()).at(n - 1).kind) {
        case WizardStepKind::YesNo:
            wizard->cmbUserChoice->setCurrentText(value);
            break;
        case WizardStepKind::Folder:
            QDir().mkpath(value);
            env->prompt.queueText(value);
            click(wizard->btnBrowseForFolder);
            break;
        case WizardStepKind::Burner:
            // The burners found are offered; the test takes an image file instead.
            QTRY_COMPARE(wizard->cmbBurner->count(), 1);
            QCOMPARE(wizard->cmbBurner->itemText(0), QStringLiteral("/dev/sr0"));
            env->prompt.queueText(value.mid(QStringLiteral("stdio:").size()));
            click(wizard->btnBrowseForFolder);
            break;
        default:
            wizard->edbUserInfo->setText(value);
            wizard->edbPasswordVerification->setText(value);
        }
    }

    void verifyAnswerShown(TfrmKestrelWizard* wizard, int n)
    {
        const WizardStepKind kind = SetupWizardSteps::forEdition(currentEdition()).at(n - 1).kind;
        if (kind == WizardStepKind::YesNo)
            QCOMPARE(wizard->cmbUserChoice->currentText(), answerOf(n));
        else if (kind == WizardStepKind::Burner)
            QCOMPARE(wizard->cmbBurner->currentText(), answerOf(n));
        else
            QCOMPARE(wizard->edbUserInfo->text(), answerOf(n));
        if (kind == WizardStepKind::Password)
            QCOMPARE(wizard->edbPasswordVerification->text(), answerOf(n));
    }

private Q_SLOTS:
    void cleanup()
    {
        if (env)
            QVERIFY(env->prompt.unexpected().isEmpty());
        for (TfrmKestrelWizard* wizard : wizards())
            delete wizard;
        env.reset();
    }

    void everyStepForwardAndBack_data()
    {
        QTest::addColumn<QString>("edition");
        for (const char* edition : {"KestrelSolo", "KestrelClient", "KestrelDrive", "KestrelCD"})
            QTest::newRow(edition) << QString::fromLatin1(edition);
    }

    void everyStepForwardAndBack()
    {
        QFETCH(QString, edition);
        env = std::make_unique<TestEnvironment>(edition);
        const int count = static_cast<int>(SetupWizardSteps::forEdition(currentEdition()).size());
        const auto burners = std::make_shared<ListingDiscWriter>(
            QStringLiteral("0  -dev '/dev/sr0' rwrw-- :  'HL-DT-ST' 'DVDRAM GH24NSD1'\n"));
        QPointer<TfrmKestrelWizard> wizard = new TfrmKestrelWizard;
        wizard->setDiscWriter(burners);
        wizard->show();
        QCOMPARE(wizard->windowTitle(), edition + QStringLiteral(" Set Up Wizard"));
        QVERIFY(wizard->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!wizard->isModal());
        QCOMPARE(wizard->cmbUserChoice->itemText(0) + wizard->cmbUserChoice->itemText(1),
                 QStringLiteral("NoYes"));
        QCOMPARE(wizard->edbPasswordVerification->toolTip(),
                 QStringLiteral("Retype password for verification."));
        QVERIFY(!wizard->btnBack->isVisible());

        for (int n = 1; n <= count; ++n) {
            verifyStep(wizard, n, n == 1);
            QCOMPARE(wizard->btnBack->isVisible(), n >= 2);
            answer(wizard, n);
            if (n < count)
                click(wizard->btnNext);
        }
        // Back from the last step to the first, each showing what was answered there.
        for (int n = count - 1; n >= 1; --n) {
            click(wizard->btnBack);
            verifyStep(wizard, n, false);
            verifyAnswerShown(wizard, n);
        }
        QVERIFY(!TQuayRegistryObject().ReadWizzardRun());
        for (int n = 1; n < count; ++n)
            click(wizard->btnNext);
        verifyStep(wizard, count, false);
        click(wizard->btnNext);
        QCOMPARE(env->prompt.notices(), QStringList{"The set up wizard is complete."});
        QVERIFY(TQuayRegistryObject().ReadWizzardRun());
        if (edition == QLatin1String("KestrelCD"))
            QCOMPARE(TQuayRegistryObject().ReadCDBurnerDevice(), answerOf(count));
        QTRY_VERIFY(released(wizard));
        QVERIFY(env->autostart.present);

        // Opened again it shows every value as stored, for review.
        wizard = new TfrmKestrelWizard;
        wizard->setDiscWriter(burners);
        wizard->show();
        for (int n = 1; n <= count; ++n) {
            verifyAnswerShown(wizard, n);
            if (n < count)
                click(wizard->btnNext);
        }
    }

    void cancelAtStepFiveKeepsTheAnswersBefore()
    {
        env = std::make_unique<TestEnvironment>();
        // Offered at start; Yes opens it beside the main window.
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        auto window = std::make_unique<TfrmKestrelClientMain>();
        QCOMPARE(wizards().size(), 1);
        const QPointer<TfrmKestrelWizard> wizard = wizards().first();
        QVERIFY(wizard->isVisible());
        for (int n = 1; n <= 4; ++n) {
            answer(wizard, n);
            click(wizard->btnNext);
        }
        verifyStep(wizard, 5, false);
        answer(wizard, 5);
        env->prompt.queueAnswer(Prompt::Answer::No);
        click(wizard->btnCancel);
        QVERIFY(!released(wizard));
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        click(wizard->btnCancel);
        QTRY_VERIFY(released(wizard));
        QCOMPARE(env->prompt.questions(),
                 (QStringList{"Would you like to run the set up wizard now?",
                              "Do you want to exit the set up wizard?",
                              "Do you want to exit the set up wizard?"}));

        const TQuayRegistryObject store;
        QCOMPARE(store.ReadUserZipPassword(), QStringLiteral("secret 1"));
        QCOMPARE(store.ReadUserSMPTName(), QStringLiteral("answer 2"));
        QCOMPARE(store.ReadUserSMPTServerName(), QStringLiteral("answer 3"));
        QCOMPARE(store.ReadUserSMPTServerPassword(), QStringLiteral("secret 4"));
        QVERIFY(!store.ReadDialUpDisconnect());
        QVERIFY(!store.ReadWizzardRun());

        // The next start offers the wizard again; No opens nothing.
        window.reset();
        env->prompt.clear();
        env->prompt.queueAnswer(Prompt::Answer::No);
        window = std::make_unique<TfrmKestrelClientMain>();
        QCOMPARE(env->prompt.questions(),
                 QStringList{"Would you like to run the set up wizard now?"});
        QVERIFY(wizards().isEmpty());
    }

    void toolsMenuOpensTheWizardBesideTheWindow()
    {
        env = std::make_unique<TestEnvironment>();
        TQuayRegistryObject().WriteWizzardRun(true);
        auto window = std::make_unique<TfrmKestrelClientMain>();
        QVERIFY(env->prompt.questions().isEmpty());
        window->show();
        QApplication::setActiveWindow(window.get());
        QTRY_VERIFY(window->isActiveWindow());

        // The window is refreshed from the settings at once.
        TQuayRegistryObject().WriteNumberOfBackUpSequences(9);
        window->menus->ToolsSetupWizard->trigger();
        QCOMPARE(window->summaryPage->edbTotalNumberOfBackUpSequences->text(), QStringLiteral("9"));
        QCOMPARE(wizards().size(), 1);
        const QPointer<TfrmKestrelWizard> wizard = wizards().first();
        QVERIFY(wizard->isVisible());
        // Asked again while it is open, the same wizard comes forward.
        window->menus->ToolsSetupWizard->trigger();
        QCOMPARE(wizards().size(), 1);

        // The main window stays usable, and shows the wizard's answers when it is next
        // activated.
        QApplication::setActiveWindow(wizard);
        QTRY_VERIFY(!window->isActiveWindow());
        click(wizard->btnNext);
        wizard->edbUserInfo->setText(QStringLiteral("smtp.example.net"));
        click(wizard->btnNext);
        QVERIFY(window->isEnabled());
        QApplication::setActiveWindow(window.get());
        QTRY_COMPARE(window->userSettingsPage->edbSMPTServer->text(),
                     QStringLiteral("smtp.example.net"));

        // The main window takes an open wizard with it.
        window.reset();
        QVERIFY(wizard.isNull());
    }
};

QTEST_MAIN(TestSetupWizard)
#include "tst_setupwizard.moc"
