#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/SetupWizardProcedure.h"
#include "support/TestEnvironment.h"

#include <QtTest>

#include <memory>

// The setup wizard's steps and step procedure, without a window: what each step
// shows, what it stores, and where the wizard goes next.
class TestSetupWizardProcedure : public QObject
{
    Q_OBJECT

private:
    using Answer = SetupWizardProcedure::Answer;
    using Outcome = SetupWizardProcedure::Outcome;

    std::unique_ptr<TestEnvironment> env;

    void open(const QString& edition = QStringLiteral("KestrelSolo"))
    {
        env = std::make_unique<TestEnvironment>(edition);
    }

    static Answer text(const QString& value) { return {value, {}, false}; }
    static Answer password(const QString& value) { return {value, value, false}; }
    static Answer yes(bool value) { return {{}, {}, value}; }

    // Passes steps on with what they show, as a user who only reads would.
    static void passOn(SetupWizardProcedure& wizard, int steps)
    {
        for (int i = 0; i < steps; ++i) {
            const auto shown = wizard.shown();
            QCOMPARE(wizard.next({shown.text, shown.text, shown.yes}), Outcome::Moved);
        }
    }

private Q_SLOTS:
    void cleanup()
    {
        if (env)
            QVERIFY(env->prompt.unexpected().isEmpty());
        env.reset();
    }

    void stepsOfEachEdition_data()
    {
        QTest::addColumn<QString>("edition");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("solo") << "KestrelSolo"
                              << QStringList{"Back Up Zip File Password",
                                             "SMTP Server Name",
                                             "SMTP Server User Name",
                                             "SMTP Server User Password",
                                             "Diconnect After Back Up Sequence",
                                             "Shut Down After Back Up Sequence",
                                             "Start KestrelSolo On Start Up",
                                             "Run a Back Up Sequence on Start Up",
                                             "Start KestrelSolo Minimised",
                                             "Run Back Up Sequence On Shut Down",
                                             "Back Up Email Address"};
        QTest::newRow("client") << "KestrelClient"
                                << QStringList{"User Name",
                                               "User Email Address",
                                               "Back Up Zip File Password",
                                               "SMTP Server Name",
                                               "SMTP Server User Name",
                                               "SMTP Server User Password",
                                               "Diconnect After Back Up Sequence",
                                               "Shut Down After Back Up Sequence",
                                               "Start KestrelClient On Start Up",
                                               "Run a Back Up Sequence on Start Up",
                                               "Start KestrelClient Minimised",
                                               "Run Back Up Sequence On Shut Down"};
        QTest::newRow("drive") << "KestrelDrive"
                               << QStringList{"Start KestrelDrive On Start Up",
                                              "Start KestrelDrive Minimised",
                                              "Run a Back Up Sequence on Start Up",
                                              "Shut Down After Back Up Sequence",
                                              "Run Back Up Sequence On Shut Down",
                                              "Overwrite Previousily Backed Up Files",
                                              "Number of Bytes to Back Up in One Sequence",
                                              "Back Up Drive/Folder"};
        QTest::newRow("cd") << "KestrelCD"
                            << QStringList{"Start KestrelCD On Start Up",
                                           "Start KestrelCD Minimised",
                                           "Run a Back Up Sequence on Start Up",
                                           "Shut Down After Back Up Sequence",
                                           "Run Back Up Sequence On Shut Down",
                                           "Number of Bytes to Back Up in One Sequence"};
    }

    void stepsOfEachEdition()
    {
        QFETCH(QString, edition);
        QFETCH(QStringList, titles);
        open(edition);
        SetupWizardProcedure wizard;
        QCOMPARE(wizard.stepCount(), titles.size());
        for (int n = 1; n <= titles.size(); ++n) {
            const auto shown = wizard.shown();
            const QString title =
                n == 1 && edition == "KestrelClient" ? "User/Company Name" : titles.at(n - 1);
            QCOMPARE(shown.stepLine,
                     QStringLiteral("Step %1 of %2: %3").arg(n).arg(titles.size()).arg(title));
            QCOMPARE(shown.backVisible, n >= 2);
            QCOMPARE(shown.nextCaption, QString(n == titles.size() ? "Finish" : "Next >>"));
            // No edition's step speaks of another edition.
            for (const char* other : {"KestrelSolo", "KestrelClient", "KestrelDrive", "KestrelCD"})
                QVERIFY(edition == other || !shown.explanation.contains(QLatin1String(other)));
            if (n < titles.size())
                passOn(wizard, 1);
        }
        QCOMPARE(SetupWizardSteps::caption(currentEdition()), edition + " Set Up Wizard");
    }

    void textsAsTheUserReadsThem()
    {
        const QList<WizardStep> solo = SetupWizardSteps::forEdition(Edition::KestrelSolo);
        QCOMPARE(solo.at(1).explanation,
                 "This is the name of the SMTP server you connect to for sending email.  It is "
                 "normally a server with your ISP and usually has a name in the form of "
                 "smtp.<your provider's domain>, for example smtp.example.net.");
        QVERIFY(solo.at(2).explanation.contains("connect to yourSMTP server. It"));
        QCOMPARE(solo.at(9).explanation,
                 "Do you want to KestrelSolo to run a back up sequence each time the computer is "
                 "shut down. This option easliy allows back up sequences to be run on a regular. "
                 "basis without any User input.  Note: KestrelSolo must be running when the "
                 "computer is closed down.");
        const QList<WizardStep> drive = SetupWizardSteps::forEdition(Edition::KestrelDrive);
        QCOMPARE(drive.at(2).explanation,
                 "Do you want to run a back up sequence each time the computer starts.  For this "
                 "mode to be selected KestrelDrive must start up with Windows. (The Windows start "
                 "up mode will automatically be updated.)");
        QCOMPARE(drive.at(6).question, "Enter the number of bytes (MB)");
        QCOMPARE(SetupWizardSteps::forEdition(Edition::KestrelCD).at(5).question,
                 "Enter the number of bytes (MB)");
    }

    void walkingForwardStoresEveryAnswer()
    {
        open();
        SetupWizardProcedure wizard;
        const Answer answers[] = {password("zip secret"),
                                  text("  smtp.example.net "),
                                  text("me"),
                                  password("smtp secret"),
                                  yes(true),
                                  yes(false),
                                  yes(true),
                                  yes(true),
                                  yes(true),
                                  yes(true),
                                  text("backup@example.org")};
        for (int i = 0; i < 10; ++i)
            QCOMPARE(wizard.next(answers[i]), Outcome::Moved);
        QCOMPARE(wizard.shown().nextCaption, QStringLiteral("Finish"));
        QVERIFY(env->prompt.notices().isEmpty());
        QVERIFY(!TQuayRegistryObject().ReadWizzardRun());
        QCOMPARE(wizard.next(answers[10]), Outcome::Finished);
        QCOMPARE(env->prompt.notices(), QStringList{"The set up wizard is complete."});

        const TQuayRegistryObject store;
        QVERIFY(store.ReadWizzardRun());
        QCOMPARE(store.ReadUserZipPassword(), QStringLiteral("zip secret"));
        QCOMPARE(store.ReadUserSMPTName(), QStringLiteral("smtp.example.net"));
        QCOMPARE(store.ReadUserSMPTServerName(), QStringLiteral("me"));
        QCOMPARE(store.ReadUserSMPTServerPassword(), QStringLiteral("smtp secret"));
        QVERIFY(store.ReadDialUpDisconnect());
        QVERIFY(!store.ReadShutDown());
        QVERIFY(env->autostart.present);
        QVERIFY(store.ReadStartUpAutoRun());
        QVERIFY(store.ReadStartMinimised());
        QVERIFY(store.ReadRunSequenceOnWindowsShutDown());
        QCOMPARE(store.ReadUserBackUpEmailAddress(), QStringLiteral("backup@example.org"));
    }

    void backOnTheFirstAndTheLastStep()
    {
        open(QStringLiteral("KestrelCD"));
        SetupWizardProcedure wizard;
        // Back on step 1 stores its answer and shows step 1 again.
        QCOMPARE(wizard.back(yes(true)), Outcome::Moved);
        QCOMPARE(wizard.currentStep(), 1);
        QVERIFY(env->autostart.present);

        passOn(wizard, 5);
        QCOMPARE(wizard.currentStep(), 6);
        // Back on the last step stores it and goes back; the wizard is not finished.
        QCOMPARE(wizard.back(text("3.5")), Outcome::Moved);
        QCOMPARE(wizard.currentStep(), 5);
        QCOMPARE(TQuayRegistryObject().ReadMaxNumberOfBytesToBackedUp(), 3500000.0);
        QVERIFY(!TQuayRegistryObject().ReadWizzardRun());
        QVERIFY(env->prompt.notices().isEmpty());
        // Back stays shown on step 1 once it has been shown.
        for (int i = 0; i < 5; ++i)
            wizard.back(yes(false));
        QCOMPARE(wizard.currentStep(), 1);
        QVERIFY(wizard.shown().backVisible);
    }

    void passwordsMustMatch()
    {
        open();
        TQuayRegistryObject().WriteUserZipPassword(QStringLiteral("old"));
        SetupWizardProcedure wizard;
        QCOMPARE(wizard.shown().text, QStringLiteral("old"));
        QCOMPARE(wizard.next({"new", "New", false}), Outcome::Stayed);
        QCOMPARE(env->prompt.notices(), QStringList{"Password not valid.  Please re-enter it."});
        QCOMPARE(wizard.currentStep(), 1);
        QCOMPARE(TQuayRegistryObject().ReadUserZipPassword(), QStringLiteral("old"));
        // Both left empty: no password.
        QCOMPARE(wizard.next(password({})), Outcome::Moved);
        QCOMPARE(TQuayRegistryObject().ReadUserZipPassword(), QString());
        passOn(wizard, 2);
        QCOMPARE(wizard.next({"x", {}, false}), Outcome::Stayed);
        QCOMPARE(wizard.currentStep(), 4);
    }

    void runOnStartUpWritesTheRunEntry()
    {
        open();
        env->autostart.present = true;
        SetupWizardProcedure wizard;
        passOn(wizard, 6);
        QCOMPARE(wizard.shown().question, QStringLiteral("Start KestrelSolo on start up:"));
        QVERIFY(wizard.shown().yes);
        QCOMPARE(wizard.next(yes(false)), Outcome::Moved);
        QVERIFY(!env->autostart.present);
        QCOMPARE(wizard.next(yes(true)), Outcome::Moved);
        QVERIFY(env->autostart.present);
        QVERIFY(TQuayRegistryObject().ReadStartUpAutoRun());
        QCOMPARE(env->autostart.calls(), (QStringList{"autostart delete", "autostart write"}));
        // No on that step leaves the entry as it is.
        wizard.back(yes(false));
        QCOMPARE(wizard.next(yes(false)), Outcome::Moved);
        QVERIFY(env->autostart.present);
        QVERIFY(!TQuayRegistryObject().ReadStartUpAutoRun());
    }

    void numberStep()
    {
        open(QStringLiteral("KestrelDrive"));
        TQuayRegistryObject().WriteMaxNumberOfBytesToBackedUp(2500123.0);
        SetupWizardProcedure wizard;
        passOn(wizard, 6);
        QCOMPARE(wizard.shown().text, QStringLiteral("2.500"));
        // Passed on untouched, the limit keeps its bytes beyond the three decimals.
        QCOMPARE(wizard.next(text("2.500")), Outcome::Moved);
        QCOMPARE(TQuayRegistryObject().ReadMaxNumberOfBytesToBackedUp(), 2500123.0);
        wizard.back(text({}));
        QCOMPARE(wizard.next(text(" 1.25 ")), Outcome::Moved);
        QCOMPARE(TQuayRegistryObject().ReadMaxNumberOfBytesToBackedUp(), 1250000.0);
        wizard.back(text({}));
        QCOMPARE(wizard.shown().text, QStringLiteral("1.250"));

        // Not a number: told, nothing stored, and the wizard goes back one step.
        for (const char* wrong : {"many", "inf", ""}) {
            env->prompt.clear();
            QCOMPARE(wizard.next(text(QLatin1String(wrong))), Outcome::Moved);
            QCOMPARE(env->prompt.notices(),
                     QStringList{"Number entered is not valid.  Please re-enter number."});
            QCOMPARE(wizard.currentStep(), 6);
            QCOMPARE(TQuayRegistryObject().ReadMaxNumberOfBytesToBackedUp(), 1250000.0);
            passOn(wizard, 1);
        }
    }

    void wrongNumberOnTheLastStepDoesNotFinish()
    {
        open(QStringLiteral("KestrelCD"));
        SetupWizardProcedure wizard;
        passOn(wizard, 5);
        QCOMPARE(wizard.next(text("lots")), Outcome::Moved);
        QCOMPARE(wizard.currentStep(), 5);
        QVERIFY(!TQuayRegistryObject().ReadWizzardRun());
        QCOMPARE(env->prompt.notices(),
                 QStringList{"Number entered is not valid.  Please re-enter number."});
    }

    void answerThatCannotBeStoredKeepsTheStep()
    {
        open(QStringLiteral("KestrelCD"));
        struct UnwritableAutostart : RecordingAutostart
        {
            void write(bool) override
            {
                throw KestrelError(QStringLiteral("Unable to write the autostart entry"));
            }
        } unwritable;
        const ScopedServices services(
            {&env->prompt, &env->clock, &unwritable, &env->powerOff, &env->dialUp});
        SetupWizardProcedure wizard;
        QCOMPARE(wizard.next(yes(true)), Outcome::Stayed);
        QCOMPARE(wizard.currentStep(), 1);
        QCOMPARE(env->prompt.notices(), QStringList{"Unable to write the autostart entry"});
    }

    void clientOpensWithItsOwnFirstTitle()
    {
        open(QStringLiteral("KestrelClient"));
        SetupWizardProcedure wizard;
        QCOMPARE(wizard.shown().stepLine, QStringLiteral("Step 1 of 12: User/Company Name"));
        QCOMPARE(wizard.shown().question, QStringLiteral("Enter your User/Company name."));
        QCOMPARE(wizard.next(text("Acme Ltd")), Outcome::Moved);
        QCOMPARE(wizard.back(text(" a@example.org ")), Outcome::Moved);
        QCOMPARE(wizard.shown().stepLine, QStringLiteral("Step 1 of 12: User Name"));
        QCOMPARE(wizard.shown().question, QStringLiteral("Enter your User name:"));
        QCOMPARE(wizard.shown().text, QStringLiteral("Acme Ltd"));
        const TQuayRegistryObject store;
        QCOMPARE(store.ReadUserEmailAddress(), QStringLiteral("a@example.org"));
        // The backup address is the service's own: no step asks for it.
        for (const WizardStep& step : wizard.steps())
            QVERIFY(step.setting != WizardSetting::UserBackUpEmailAddress);
    }

    void cancelAsks()
    {
        open();
        const SetupWizardProcedure wizard;
        env->prompt.queueAnswer(Prompt::Answer::No);
        QVERIFY(!wizard.confirmCancel());
        env->prompt.queueAnswer(Prompt::Answer::Yes);
        QVERIFY(wizard.confirmCancel());
        QCOMPARE(env->prompt.questions(),
                 QStringList(2, QStringLiteral("Do you want to exit the set up wizard?")));
    }
};

QTEST_GUILESS_MAIN(TestSetupWizardProcedure)
#include "tst_setupwizardprocedure.moc"
