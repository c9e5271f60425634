#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"
#include "ui/EditionPicture.h"
#include "ui/FolderSelectionPage.h"
#include "ui/frmKestrelClientMain.h"
#include "ui/frmQuayMessage.h"
#include "ui/frmSplash.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// A clock and a prompt that describe the windows on screen at every wait and
// question, to see what the user sees while the program pauses or asks.
class WatchingClock : public ManualClock
{
public:
    std::function<void(int)> onWait;
    void waitPumping(int milliseconds) override
    {
        onWait(milliseconds);
        ManualClock::waitPumping(milliseconds);
    }
};

class WatchingPrompt : public ScriptedPrompt
{
public:
    std::function<void()> onAsk;
    Answer ask(const QString& text, Buttons buttons, Icon icon) override
    {
        onAsk();
        return ScriptedPrompt::ask(text, buttons, icon);
    }
};

template <typename Window> QStringList shownWindows()
{
    QStringList shown;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<Window*>(widget) && widget->isVisible())
            shown << widget->windowTitle() + ": " +
                         widget->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly)->text();
    return shown;
}

} // namespace

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
        TfrmSplash splash(nullptr);
        splash.showSplash();
        QCOMPARE(splash.windowTitle(), "Orrery Limited's " + edition);
        QCOMPARE(splash.findChild<QLabel*>("lblWelcome")->text(), "Welcome to " + edition);
        QCOMPARE(splash.findChild<QLabel*>("lblStatus")->text(), "Loading data, please wait...");
        QVERIFY(!splash.findChild<QLabel*>("lblProductVersion")->isVisible());
        QVERIFY(splash.findChild<QTimer*>("tmrClose")->isActive());
        // Each edition has a picture of its own, and the splash shows it.
        const QImage shown = splash.imgEditionPicture->pixmap().toImage();
        QVERIFY(!shown.isNull());
        for (const Edition other : {Edition::KestrelSolo, Edition::KestrelClient,
                                    Edition::KestrelDrive, Edition::KestrelCD})
            QCOMPARE(EditionPicture::pixmap(other, shown.width()).toImage() == shown,
                     other == currentEdition());
        // The live bar starts again after its maximum.
        for (int tick = 0; tick < 11; ++tick)
            splash.stepLiveBar();
        QCOMPARE(splash.pgbLive->value(), 0);
    }

    void splashStepsAsideForAQuestion()
    {
        TestEnvironment env;
        TfrmSplash splash(nullptr);
        splash.showSplash();
        QWidget notModal;
        notModal.show();
        QVERIFY(splash.isVisible());
        // A window kept on top would cover a message box asked during start-up.
        QMessageBox question(QMessageBox::Question, "KestrelSolo", "Defer loading the log file?",
                             QMessageBox::Yes | QMessageBox::No);
        question.setModal(true);
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
            for (const QWidget* widget : QApplication::topLevelWidgets())
                if (const auto* splash = qobject_cast<const TfrmSplash*>(widget);
                    splash && splash->isVisible())
                    seen << QString("%1 ms: %2, version %3, close timer %4")
                                .arg(milliseconds)
                                .arg(splash->lblWelcome->text())
                                .arg(splash->lblProductVersion->isVisible() ? "shown" : "hidden")
                                .arg(splash->tmrClose->isActive() ? "running" : "stopped");
        };
        const ScopedServices services({&env.prompt, &clock, &env.autostart, &env.powerOff,
                                       &env.dialUp, &env.notifications, &env.fileManagerMenu,
                                       &env.secretStore, &env.schedule});
        TfrmKestrelClientMain window;
        // The close timer was stopped, so the pause is a single 500 ms.
        QCOMPARE(seen, QStringList{"500 ms: Welcome to KestrelDrive, version hidden, close "
                                   "timer stopped"});
        QCOMPARE(clock.waits(), QList<int>{500});
        QVERIFY(window.findChildren<TfrmSplash*>().isEmpty());
    }

    void aboutTwiceGivesTwoWindows()
    {
        TestEnvironment env(QStringLiteral("KestrelCD"));
        TQuayRegistryObject().WriteWizzardRun(true);
        TfrmKestrelClientMain window;
        QAction* about = window.findChild<QAction*>("About1");
        about->trigger();
        about->trigger();
        const QList<TfrmSplash*> abouts = window.findChildren<TfrmSplash*>();
        QCOMPARE(abouts.size(), 2);
        for (TfrmSplash* box : abouts) {
            box->closeTimerElapsed();
            QVERIFY(box->isVisible());
            QCOMPARE(box->lblWelcome->text(), QString("KestrelCD"));
            QCOMPARE(box->lblProductVersion->text(), QString("Product Version: V2 (2.1.2.0)"));
            QVERIFY(box->lblProductVersion->isVisible());
            QVERIFY(!box->pgbLive->isVisible());
            // Nothing is loading, and a button closes it.
            QVERIFY(!box->lblStatus->isVisible());
            QVERIFY(box->btnClose->isVisible());
            QCOMPARE(box->btnClose->text(), QString("Close"));
            QVERIFY(box->windowFlags() & Qt::WindowCloseButtonHint);
            QCOMPARE(box->height(), 300);
        }
        // Closing one leaves the other; Escape closes that one.
        QPointer<TfrmSplash> closed = abouts.at(0);
        closed->btnClose->click();
        QTRY_VERIFY(closed.isNull());
        QPointer<TfrmSplash> other = abouts.at(1);
        QVERIFY(other->isVisible());
        QTest::keyClick(other, Qt::Key_Escape);
        QTRY_VERIFY(other.isNull());
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
        clock.onWait = [&](int) {
            seen << "wait " + shownWindows<TfrmQuayMessage>().join(", ");
        };
        prompt.onAsk = [&] {
            seen << "question " + shownWindows<TfrmQuayMessage>().join(", ");
        };
        const ScopedServices services({&prompt, &clock, &env.autostart, &env.powerOff, &env.dialUp,
                                       &env.notifications, &env.fileManagerMenu, &env.secretStore,
                                       &env.schedule});
        prompt.queueAnswer(Prompt::Answer::Yes);
        prompt.queueAnswer(Prompt::Answer::No);
        page.findNewFolders();
        // Nothing shows before the user agrees; the window goes before the folders are offered.
        QCOMPARE(seen,
                 (QStringList{"question ", "wait Kestrel Message: Searching for new folders...",
                              "question "}));
        QCOMPARE(prompt.questions().size(), 2);
        QVERIFY(page.findChildren<TfrmQuayMessage*>().isEmpty());
    }
};

QTEST_MAIN(TestSplashWindows)
#include "tst_splashwindows.moc"
