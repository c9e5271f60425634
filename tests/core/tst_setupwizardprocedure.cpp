#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/SetupWizardProcedure.h"
#include "support/TestEnvironment.h"

#include <QtTest>

#include <memory>

// The setup wizard's step procedure without a window: what each step stores and
// where the wizard goes next.
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
        QTest::addColumn<QString>("titles");
        const QString common = "Diconnect After Back Up Sequence|Shut Down After Back Up "
                               "Sequence|Start %1 On Start Up|Run a Back Up Sequence on Start "
                               "Up|Start %1 Minimised|Run Back Up Sequence On Shut Down";
        const QString mail = "Back Up Zip File Password|SMTP Server Name|SMTP Server User "
                             "Name|SMTP Server User Password|";
        const QString local = "Start %1 On Start Up|Start %1 Minimised|Run a Back Up Sequence "
                              "on Start Up|Shut Down After Back Up Sequence|Run Back Up "
                              "Sequence On Shut Down|";
        QTest::newRow("solo") << "KestrelSolo" << mail + common + "|Back Up Email Address";
        QTest::newRow("client") << "KestrelClient"
                                << "User/Company Name|User Email Address|" + mail + common;
        QTest::newRow("drive") << "KestrelDrive"
                               << local + "Overwrite Previousily Backed Up Files|Number of "
                                          "Bytes to Back Up in One Sequence|Back Up Drive/Folder";
        QTest::newRow("cd") << "KestrelCD"
                            << local + "Number of Bytes to Back Up in One Sequence|Back Up Drive";
    }

    void stepsOfEachEdition()
    {
        QFETCH(QString, edition);
        QFETCH(QString, titles);
        open(edition);
        const QStringList expected = titles.arg(edition).split('|');
        SetupWizardProcedure wizard;
        QCOMPARE(wizard.stepCount(), expected.size());
        for (int n = 1; n <= expected.size(); ++n) {
            const auto shown = wizard.shown();
            QCOMPARE(shown.stepLine,
                     QString("Step %1 of %2: %3").arg(n).arg(expected.size()).arg(expected[n - 1]));
            QCOMPARE(shown.backVisible, n >= 2);
            QCOMPARE(shown.nextCaption, QString(n == expected.size() ? "Finish" : "Next >>"));
            // No edition's step speaks of another edition.
            for (const char* other : {"KestrelSolo", "KestrelClient", "KestrelDrive", "KestrelCD"})
                QVERIFY(edition == other || !shown.explanation.contains(QLatin1String(other)));
            if (n < expected.size())
                passOn(wizard, 1);
        }
        if (edition != "KestrelSolo")
            return;
        const QList<WizardStep> solo = wizard.steps();
        QVERIFY(solo.at(1).explanation.endsWith(
            "name in the form of smtp.<your provider's domain>, for example smtp.example.net."));
        QVERIFY(solo.at(9).explanation.contains("easliy allows back up sequences to be run on a "
                                                "regular. basis without any User input.  Note:"));
    }

    void backOnTheFirstAndTheLastStep()
    {
        open(QStringLiteral("KestrelCD"));
        SetupWizardProcedure wizard;
        // Back on step 1 stores its answer and shows step 1 again.
        QCOMPARE(wizard.back(yes(true)), Outcome::Moved);
        QCOMPARE(wizard.currentStep(), 1);
        QVERIFY(env->autostart.present);

        passOn(wizard, 6);
        // Back on the last step stores it and goes back; the wizard is not finished.
        QCOMPARE(wizard.back(text("/dev/sr0")), Outcome::Moved);
        QCOMPARE(wizard.currentStep(), 6);
        QCOMPARE(TQuayRegistryObject().ReadCDBurnerDevice(), QStringLiteral("/dev/sr0"));
        QCOMPARE(wizard.back(text("3.5")), Outcome::Moved);
        QCOMPARE(wizard.currentStep(), 5);
        QCOMPARE(TQuayRegistryObject().ReadMaxNumberOfBytesToBackedUp(), 3500000.0);
        QVERIFY(!TQuayRegistryObject().ReadWizzardRun());
        QVERIFY(env->prompt.notices().isEmpty());
        // Back stays shown on step 1 once it has been shown: else it could not be pressed there.
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
        QCOMPARE(wizard.next({}), Outcome::Moved);
        QCOMPARE(TQuayRegistryObject().ReadUserZipPassword(), QString());
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
        QCOMPARE(wizard.next(yes(true)), Outcome::Moved);
        QVERIFY(env->autostart.present);
        QVERIFY(TQuayRegistryObject().ReadStartUpAutoRun());
        QCOMPARE(env->autostart.calls(), (QStringList{"autostart delete", "autostart write"}));
        // No on that step leaves the entry as it is.
        wizard.back(yes(false));
        QCOMPARE(wizard.next(yes(false)), Outcome::Moved);
        QVERIFY(env->autostart.present);
    }

    void numberStep()
    {
        open(QStringLiteral("KestrelCD"));
        TQuayRegistryObject().WriteMaxNumberOfBytesToBackedUp(2500123.0);
        SetupWizardProcedure wizard;
        passOn(wizard, 5);
        QCOMPARE(wizard.shown().text, QStringLiteral("2.500"));
        // Passed on untouched, the limit keeps its bytes beyond the three decimals.
        QCOMPARE(wizard.back(text("2.500")), Outcome::Moved);
        QCOMPARE(TQuayRegistryObject().ReadMaxNumberOfBytesToBackedUp(), 2500123.0);
        passOn(wizard, 1);
        QCOMPARE(wizard.back(text(" 1.25 ")), Outcome::Moved);
        QCOMPARE(TQuayRegistryObject().ReadMaxNumberOfBytesToBackedUp(), 1250000.0);

        // Not a number: told, nothing stored, and the wizard goes back a step instead
        // of finishing.
        for (const char* wrong : {"many", "inf", ""}) {
            passOn(wizard, 1);
            env->prompt.clear();
            QCOMPARE(wizard.next(text(QLatin1String(wrong))), Outcome::Moved);
            QCOMPARE(env->prompt.notices(),
                     QStringList{"Number entered is not valid.  Please re-enter number."});
            QCOMPARE(wizard.currentStep(), 5);
            QCOMPARE(TQuayRegistryObject().ReadMaxNumberOfBytesToBackedUp(), 1250000.0);
            QVERIFY(!TQuayRegistryObject().ReadWizzardRun());
        }
    }

    // The last step of the drive and CD editions names where the back ups go: a path
    // that cannot be used there is told and the step stays to be answered again.
    void placeStepsRefuseWhatCannotBeUsed_data()
    {
        QTest::addColumn<QString>("edition");
        // "<root>" stands for the test's own folder; an empty "stored" means refused.
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("drive: a folder") << "KestrelDrive"
                                         << "<root>/backups "
                                         << "<root>/backups";
        QTest::newRow("drive: a missing folder") << "KestrelDrive"
                                                 << "<root>/missing"
                                                 << "";
        QTest::newRow("drive: a file") << "KestrelDrive"
                                       << "<root>/backups/a.txt"
                                       << "";
        QTest::newRow("drive: nothing") << "KestrelDrive"
                                        << ""
                                        << "";
        QTest::newRow("cd: a burner") << "KestrelCD"
                                      << " /dev/sr0"
                                      << "/dev/sr0";
        QTest::newRow("cd: an image") << "KestrelCD"
                                      << "stdio:<root>/backups/disc.iso"
                                      << "stdio:<root>/backups/disc.iso";
        QTest::newRow("cd: an image in a missing folder") << "KestrelCD"
                                                          << "stdio:<root>/missing/disc.iso"
                                                          << "";
        QTest::newRow("cd: nothing") << "KestrelCD"
                                     << ""
                                     << "";
    }

    void placeStepsRefuseWhatCannotBeUsed()
    {
        QFETCH(QString, edition);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        open(edition);
        env->writeFile(QStringLiteral("backups/a.txt"), "a");
        typed.replace(QStringLiteral("<root>"), env->root());
        stored.replace(QStringLiteral("<root>"), env->root());
        const TQuayRegistryObject store;
        const auto place = [&store, cd = edition == QLatin1String("KestrelCD")] {
            return cd ? store.ReadCDBurnerDevice() : store.ReadUserBackUpEmailAddress();
        };
        const QString before = place();
        SetupWizardProcedure wizard;
        passOn(wizard, wizard.stepCount() - 1);
        const bool refused = stored.isEmpty();
        QCOMPARE(wizard.next(text(typed)), refused ? Outcome::Stayed : Outcome::Finished);
        QCOMPARE(place(), refused ? before : stored);
        QCOMPARE(wizard.currentStep(), wizard.stepCount());
        QCOMPARE(env->prompt.notices().size(), 1);
        QCOMPARE(env->prompt.notices().first() == QLatin1String("The set up wizard is complete."),
                 !refused);
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
        const ScopedServices services({&env->prompt, &env->clock, &unwritable, &env->powerOff,
                                       &env->dialUp, &env->notifications, &env->fileManagerMenu,
                                       &env->secretStore, &env->schedule});
        SetupWizardProcedure wizard;
        QCOMPARE(wizard.next(yes(true)), Outcome::Stayed);
        QCOMPARE(wizard.currentStep(), 1);
        QCOMPARE(env->prompt.notices(), QStringList{"Unable to write the autostart entry"});
    }
};

QTEST_GUILESS_MAIN(TestSetupWizardProcedure)
#include "tst_setupwizardprocedure.moc"
