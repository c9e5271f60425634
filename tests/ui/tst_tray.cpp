#include "core/QuayRegistryObject.h"
#include "support/TestEnvironment.h"
#include "ui/DCMinTray.h"
#include "ui/MainMenus.h"
#include "ui/frmKestrelClientMain.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>

// The window in the notification area. The offscreen platform has no tray, which is
// the fallback case; the tray's own behaviour is tested with a tray said to exist.
class TestTray : public QObject
{
    Q_OBJECT

private:
    // A window with an icon, as the main window has, for its tray icon to show.
    static void giveIcon(QWidget& window)
    {
        QPixmap picture(16, 16);
        picture.fill(Qt::darkBlue);
        window.setWindowIcon(QIcon(picture));
    }
    static void minimise(QWidget& window)
    {
        window.setWindowState(window.windowState() | Qt::WindowMinimized);
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void withoutATrayTheWindowIsNeverHidden()
    {
        QWidget window;
        TDCMinTray tray(&window, [] { return false; });
        window.show();
        minimise(window);
        tray.windowStateChanged();
        QCoreApplication::processEvents();
        QVERIFY(window.isVisible());
        QVERIFY(!tray.icon()->isVisible());
        QVERIFY(!tray.keepsWindowHidden());
    }

    void minimisedIntoTheTrayAndBackByDoubleClick()
    {
        QWidget window;
        giveIcon(window);
        TDCMinTray tray(&window, [] { return true; });
        tray.SetHint(QStringLiteral("KestrelSolo"));
        window.show();
        minimise(window);
        tray.windowStateChanged();
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(tray.icon()->isVisible());
        QCOMPARE(tray.icon()->toolTip(), QStringLiteral("KestrelSolo"));
        QVERIFY(tray.keepsWindowHidden());

        // A single click does nothing; a double click restores and removes the icon.
        Q_EMIT tray.icon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!window.isVisible());
        Q_EMIT tray.icon()->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QVERIFY(!tray.icon()->isVisible());
        QVERIFY(!tray.keepsWindowHidden());
    }

    // A tray that reports only the host's activation (Trigger) restores on it, whatever
    // the mode, and ignores the other reasons.
    void onAnActivationOnlyTrayTheActivationRestores()
    {
        QWidget window;
        giveIcon(window);
        TDCMinTray tray(
            &window, [] { return true; }, [] { return true; });
        QCOMPARE(tray.RestoreMode(), TDCMinTray::rmDblClick);
        window.show();
        minimise(window);
        tray.windowStateChanged();
        QTRY_VERIFY(!window.isVisible());
        Q_EMIT tray.icon()->activated(QSystemTrayIcon::MiddleClick);
        Q_EMIT tray.icon()->activated(QSystemTrayIcon::Context);
        QVERIFY(!window.isVisible());
        Q_EMIT tray.icon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(window.isVisible());
        QVERIFY(!tray.icon()->isVisible());
    }

    void tipIsTheHintCutTo63Characters()
    {
        QWidget window;
        giveIcon(window);
        TDCMinTray tray(&window, [] { return true; });
        QCOMPARE(tray.shownTip(), QApplication::applicationName());
        tray.SetHint(QString(80, QLatin1Char('x')));
        QCOMPARE(tray.shownTip().size(), TDCMinTray::MaxTipLength);
        // Changed while shown: at once.
        tray.SetTrayMode(TDCMinTray::tmAlways);
        QVERIFY(tray.icon()->isVisible());
        tray.SetHint(QStringLiteral("KestrelCD"));
        QCOMPARE(tray.icon()->toolTip(), QStringLiteral("KestrelCD"));
        tray.SetTrayMode(TDCMinTray::tmOnMinimize);
        QVERIFY(!tray.icon()->isVisible());
    }

    void startedMinimisedShowsOnlyTheIcon()
    {
        QWidget window;
        giveIcon(window);
        TDCMinTray tray(&window, [] { return true; });
        window.setWindowState(Qt::WindowMinimized);
        tray.windowStateChanged();
        QVERIFY(tray.keepsWindowHidden());
        QVERIFY(tray.icon()->isVisible());
    }

    void mainWindowOffersThePopUpMenuInTheTray()
    {
        TestEnvironment env;
        TQuayRegistryObject().WriteWizzardRun(true);
        TfrmKestrelClientMain window;
        QCOMPARE(window.tray->icon()->contextMenu(), window.menus->pumMain);
        QStringList captions;
        for (const QAction* action : window.menus->pumMain->actions())
            captions << action->text().remove(QLatin1Char('&'));
        QCOMPARE(captions, (QStringList{QStringLiteral("Help"), QStringLiteral("Run Back Up Now"),
                                        QStringLiteral("Add File"), QStringLiteral("Add Folder")}));
        QCOMPARE(window.tray->shownTip(), QStringLiteral("KestrelSolo"));
        // Offscreen has no tray: minimising leaves the window where it is.
        window.show();
        minimise(window);
        QCoreApplication::processEvents();
        QVERIFY(window.isVisible());
        QVERIFY(!window.tray->keepsWindowHidden());
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
