#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"
#include "ui/EditionPicture.h"
#include "ui/FolderSelectionPage.h"
#include "ui/frmKestrelClientMain.h"
#include "ui/frmQuayMessage.h"
#include "ui/frmSplash.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// A clock that runs a check at every wait, to look at the windows while the
// program pauses.
class WatchingClock : public ManualClock
{
public:
    std::function<void(int)> onWait;
    void waitPumping(int milliseconds) override
    {
        if (onWait)
            onWait(milliseconds);
        ManualClock::waitPumping(milliseconds);
    }
};

// A prompt that runs a check before each question is answered.
class WatchingPrompt : public ScriptedPrompt
{
public:
    std::function<void()> onAsk;
    Answer ask(const QString& text, Buttons buttons, Icon icon) override
    {
        if (onAsk)
            onAsk();
        return ScriptedPrompt::ask(text, buttons, icon);
    }
};

QList<TfrmSplash*> visibleSplashes()
{
    QList<TfrmSplash*> found;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* splash = qobject_cast<TfrmSplash*>(widget); splash && splash->isVisible())
            found << splash;
    return found;
}

} // namespace

// The splash at start-up, the About windows it turns into, and the message window
// of the new-folder search, under the offscreen platform.
class TestSplashWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void splashShowsTheEdition_data()
    {
        QTest::addColumn<QString>("edition");
        for (const char* name : {"KestrelSolo", "KestrelClient", "KestrelDrive", "KestrelCD"})
            QTest::newRow(name) << QString(name);
    }

    void splashShowsTheEdition()
    {
        QFETCH(QString, edition);
        TestEnvironment env(edition);
        QWidget owner;
        TfrmSplash splash(&owner);
        splash.showSplash();
        QCOMPARE(splash.windowTitle(), "Orrery Limited's " + edition);
        QCOMPARE(splash.findChild<QLabel*>("lblWelcome")->text(), "Welcome to " + edition);
        QCOMPARE(splash.findChild<QLabel*>("lblStatus")->text(), "Loading data, please wait...");
        QVERIFY(!splash.findChild<QLabel*>("lblProductVersion")->isVisible());
        QVERIFY(splash.findChild<QProgressBar*>("pgbLive")->isVisible());
        QVERIFY(splash.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(splash.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(splash.findChild<QTimer*>("tmrClose")->isActive());
        QVERIFY(splash.findChild<QTimer*>("Timer1")->isActive());

        // Each edition has a picture of its own, and the splash shows it.
        const QImage shown = splash.imgEditionPicture->pixmap().toImage();
        QVERIFY(!shown.isNull());
        const QList<Edition> editions = {Edition::KestrelSolo, Edition::KestrelClient,
                                         Edition::KestrelDrive, Edition::KestrelCD};
        for (const Edition other : editions) {
            const QImage picture = EditionPicture::pixmap(other, shown.width()).toImage();
            QCOMPARE(picture == shown, other == currentEdition());
        }
        QCOMPARE(EditionPicture::icon(currentEdition()).availableSizes().size(), 7);
    }

    void timersStepTheBarAndOnlyStopThemselves()
    {
        TestEnvironment env;
        TfrmSplash splash(nullptr);
        splash.showSplash();
        QCOMPARE(splash.Timer1->interval(), 1000);
        QCOMPARE(splash.tmrClose->interval(), 30000);
        for (int tick = 1; tick <= 10; ++tick)
            splash.stepLiveBar();
        QCOMPARE(splash.pgbLive->value(), 100);
        splash.stepLiveBar();
        QCOMPARE(splash.pgbLive->value(), 0);

        splash.turnIntoAbout();
        splash.closeTimerElapsed();
        QVERIFY(!splash.tmrClose->isActive());
        QVERIFY(splash.isVisible());
        QCOMPARE(splash.lblWelcome->text(), QString("KestrelSolo"));
    }

    void splashStepsAsideForAQuestion()
    {
        TestEnvironment env;
        TfrmSplash splash(nullptr);
        splash.showSplash();
        // A window kept on top would cover a message box asked during start-up.
        QMessageBox question(QMessageBox::Question, "KestrelSolo", "Defer loading the log file?",
                             QMessageBox::Yes | QMessageBox::No);
        question.setModal(true);
        QWidget notModal;
        notModal.show();
        QVERIFY(splash.isVisible());
        question.show();
        QVERIFY(!splash.isVisible());
        question.hide();
        QVERIFY(splash.isVisible());
    }

    void startUpPausesThroughTheClockWithTheSplashShown()
    {
        TestEnvironment env(QStringLiteral("KestrelDrive"));
        TQuayRegistryObject().WriteWizzardRun(true);
        WatchingClock clock;
        QStringList seen;
        clock.onWait = [&](int milliseconds) {
            const QList<TfrmSplash*> splashes = visibleSplashes();
            if (splashes.size() != 1) {
                seen << QString("%1 ms, %2 splashes").arg(milliseconds).arg(splashes.size());
                return;
            }
            const TfrmSplash* splash = splashes.first();
            seen << QString("%1 ms, %2, version %3, close timer %4")
                        .arg(milliseconds)
                        .arg(splash->lblWelcome->text())
                        .arg(splash->lblProductVersion->isVisible() ? "shown" : "hidden")
                        .arg(splash->tmrClose->isActive() ? "running" : "stopped");
        };
        const ScopedServices services(
            {&env.prompt, &clock, &env.autostart, &env.powerOff, &env.dialUp});
        TfrmKestrelClientMain window;
        // The close timer was stopped, so the pause is a single 500 ms.
        QCOMPARE(seen, QStringList{"500 ms, Welcome to KestrelDrive, version hidden, close timer "
                                   "stopped"});
        QCOMPARE(clock.waits(), QList<int>{500});
        QVERIFY(window.findChildren<TfrmSplash*>().isEmpty());
        QVERIFY(visibleSplashes().isEmpty());
    }

    void aboutTwiceGivesTwoWindows()
    {
        TestEnvironment env(QStringLiteral("KestrelCD"));
        TQuayRegistryObject().WriteWizzardRun(true);
        TfrmKestrelClientMain window;
        QAction* about = window.findChild<QAction*>("About1");
        QCOMPARE(about->text(), QString("About..."));
        about->trigger();
        about->trigger();
        const QList<TfrmSplash*> abouts = window.findChildren<TfrmSplash*>();
        QCOMPARE(abouts.size(), 2);
        for (TfrmSplash* box : abouts) {
            QVERIFY(box->isVisible());
            QCOMPARE(box->lblWelcome->text(), QString("KestrelCD"));
            QCOMPARE(box->lblProductVersion->text(), QString("Product Version: V2 (2.1.2.0)"));
            QVERIFY(box->lblProductVersion->isVisible());
            QVERIFY(!box->pgbLive->isVisible());
            QVERIFY(box->windowFlags() & Qt::WindowCloseButtonHint);
            QCOMPARE(box->height(), 300);
        }

        // Closing one leaves the other as it was.
        QPointer<TfrmSplash> closed = abouts.at(0);
        QPointer<TfrmSplash> kept = abouts.at(1);
        closed->close();
        QTRY_VERIFY(closed.isNull());
        QVERIFY(kept && kept->isVisible());
        QCOMPARE(window.findChildren<TfrmSplash*>().size(), 1);
    }

    void messageWindowShownWhileFoldersAreSearched()
    {
        TestEnvironment env;
        TQuayRegistryObject().WriteFolderSearchDate("01/01/2000");
        QVERIFY(QDir().mkpath(QDir::homePath() + "/Alpha"));
        FolderSelectionPage page;
        WatchingClock clock;
        WatchingPrompt prompt;
        QStringList seen;
        const auto lookAtMessages = [&](const QString& moment) {
            QStringList messages;
            for (const TfrmQuayMessage* message : page.findChildren<TfrmQuayMessage*>())
                messages << QString("%1 \"%2\" %3")
                                .arg(message->windowTitle(), message->lblMessage->text())
                                .arg(message->isVisible() ? "shown" : "hidden");
            seen << moment + ": " + (messages.isEmpty() ? "none" : messages.join(", "));
        };
        clock.onWait = [&](int milliseconds) {
            lookAtMessages(QString::number(milliseconds));
        };
        prompt.onAsk = [&] {
            lookAtMessages("question");
        };
        const ScopedServices services(
            {&prompt, &clock, &env.autostart, &env.powerOff, &env.dialUp});
        prompt.queueAnswer(Prompt::Answer::Yes);
        prompt.queueAnswer(Prompt::Answer::No);
        page.findNewFolders();
        QCOMPARE(prompt.questions().size(), 2);
        // Nothing is shown before the user agrees; the window goes before the offers.
        QCOMPARE(seen, (QStringList{"question: none",
                                    "2000: Kestrel Message \"Searching for new folders...\" shown",
                                    "question: none"}));
        QVERIFY(page.findChildren<TfrmQuayMessage*>().isEmpty());
    }
};

QTEST_MAIN(TestSplashWindows)
#include "tst_splashwindows.moc"
