#include "core/QuayRegistryObject.h"
#include "support/PrivateDBus.h"
#include "support/PrivateXServer.h"
#include "support/TestEnvironment.h"
#include "ui/DCMinTray.h"
#include "ui/frmKestrelClientMain.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>

namespace {
const QString WatcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString ItemPath = QStringLiteral("/StatusNotifierItem");
const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString Register = QStringLiteral("RegisterStatusNotifierItem ");

// What a desktop session gives the program: an X display and a session bus with a
// tray watcher on it. Set up before the application exists, as on a real desktop,
// since the xcb platform opens the display and Qt chooses its kind of tray once.
struct DesktopSide
{
    PrivateXServer display;
    PrivateDBus bus;
    int watcher = -1;
    QString missing;

    DesktopSide()
    {
        if (display.display().isEmpty()) {
            missing = display.errorText();
            return;
        }
        if (bus.address().isEmpty()) {
            missing = bus.errorText();
            return;
        }
        watcher = bus.startMock(WatcherName,
                                {QStringLiteral("--template"),
                                 QStringLiteral(KESTREL_TEST_SCRIPTS "/statusnotifierwatcher.py")});
        if (watcher < 0)
            missing = bus.errorText();
    }
};
DesktopSide* side = nullptr;
} // namespace

// The tray icon on a real X display whose desktop has a StatusNotifierItem tray (a
// mock watcher with a host registered), and the same display once the watcher is gone.
// Everything is the system's own answer: no tray availability is injected.
class TestTrayDesktop : public QObject
{
    Q_OBJECT

private:
    // The items registered with the watcher so far, oldest first.
    static QStringList registeredItems()
    {
        QStringList items;
        for (QString call : side->bus.mockCalls(side->watcher))
            if (call.startsWith(Register))
                items << call.remove(0, Register.size()).remove(QLatin1Char('"'));
        return items;
    }

    // The program serves its item on this thread, so the test never blocks on it.
    static QDBusMessage callItem(const QString& item, const QString& interface,
                                 const QString& method, const QVariantList& arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(item, ItemPath, interface, method);
        call.setArguments(arguments);
        const QDBusPendingCall pending = side->bus.connection().asyncCall(call, 5000);
        if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 5000))
            return {};
        return pending.reply();
    }

    // The text of the item's ToolTip, (icon name, icon pixmaps, title, text).
    static QString toolTipTitle(const QString& item)
    {
        const QDBusMessage reply =
            callItem(item, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                     {ItemInterface, QStringLiteral("ToolTip")});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return QStringLiteral("<no ToolTip: %1>").arg(reply.errorMessage());
        const auto tip = qvariant_cast<QDBusVariant>(reply.arguments().constFirst())
                             .variant()
                             .value<QDBusArgument>();
        QString iconName;
        QString title;
        tip.beginStructure();
        tip >> iconName;
        tip.beginArray();
        while (!tip.atEnd()) {
            int width = 0;
            int height = 0;
            QByteArray pixels;
            tip.beginStructure();
            tip >> width >> height >> pixels;
            tip.endStructure();
        }
        tip.endArray();
        tip >> title;
        tip.endStructure();
        return title;
    }

    // The desktop's tray host activating the item: a click on the icon for most hosts.
    static void activate(const QString& item)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(item, ItemPath, ItemInterface,
                                                           QStringLiteral("Activate"));
        call.setArguments({10, 10});
        side->bus.connection().send(call);
    }

    // As the main window does in its changeEvent.
    static void minimise(QWidget& window, TDCMinTray& tray)
    {
        window.setWindowState(window.windowState() | Qt::WindowMinimized);
        tray.windowStateChanged();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!side->missing.isEmpty() || QGuiApplication::platformName() != QLatin1String("xcb")) {
            const QString reason =
                side->missing.isEmpty()
                    ? QStringLiteral("the xcb platform plugin did not load (package "
                                     "qt6-qpa-plugins)")
                    : side->missing;
            // scripts/install-deps.sh installs both, so a CI run must not skip.
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL(qPrintable(reason));
            QSKIP(qPrintable(reason));
        }
        QPixmap picture(22, 22);
        picture.fill(Qt::darkBlue);
        QApplication::setWindowIcon(QIcon(picture));
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
    }

    // Minimised: hidden, one item with the watcher, the tip cut to 63 characters and
    // changed at once; the tray host's activation restores and the item goes away.
    void minimisedIntoTheTrayAndBackByActivation()
    {
        QWidget window;
        TDCMinTray tray(&window);
        const QString hint = QStringLiteral("Kestrel backs up ") + QString(70, QLatin1Char('x'));
        tray.SetHint(hint);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const qsizetype before = registeredItems().size();

        minimise(window, tray);
        QTRY_VERIFY(!window.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(registeredItems().size(), before + 1, 5000);
        const QString item = registeredItems().constLast();
        QCOMPARE(toolTipTitle(item), hint.left(TDCMinTray::MaxTipLength));
        tray.SetHint(QStringLiteral("KestrelCD"));
        QCOMPARE(toolTipTitle(item), QStringLiteral("KestrelCD"));

        activate(item);
        QTRY_VERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QVERIFY(!tray.keepsWindowHidden());
        QTRY_VERIFY(!side->bus.isOwned(item));
        QCOMPARE(registeredItems().size(), before + 1);
    }

    // Started minimised, the main window shows only as its item until activated.
    void startUpMinimisedShowsOnlyTheIcon()
    {
        TestEnvironment env;
        TQuayRegistryObject store;
        store.WriteWizzardRun(true);
        store.WriteStartMinimised(true);
        const qsizetype before = registeredItems().size();

        TfrmKestrelClientMain window;
        // As the program starts its window.
        if (!window.tray->keepsWindowHidden())
            window.show();
        QTRY_COMPARE_WITH_TIMEOUT(registeredItems().size(), before + 1, 5000);
        const QString item = registeredItems().constLast();
        QCOMPARE(toolTipTitle(item), QStringLiteral("KestrelSolo"));
        QVERIFY(!window.isVisible());

        activate(item);
        QTRY_VERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QTRY_VERIFY(!side->bus.isOwned(item));
    }

    // Last: the watcher leaves, and with it the tray; no XEmbed tray is on the display.
    void withoutAWatcherTheWindowIsNeverHidden()
    {
        side->bus.stopMock(side->watcher);
        QTRY_VERIFY(!side->bus.isOwned(WatcherName));
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());

        QWidget window;
        TDCMinTray tray(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        minimise(window, tray);
        QVERIFY(!QTest::qWaitFor([&] { return !window.isVisible(); }, 300));
        QVERIFY(!tray.icon()->isVisible());
        QVERIFY(!tray.keepsWindowHidden());
    }
};

int main(int argc, char* argv[])
{
    DesktopSide desktop;
    side = &desktop;
    if (desktop.missing.isEmpty()) {
        desktop.display.exportAsDisplay();
        desktop.bus.exportAsSessionBus();
        // Falls back to offscreen where the xcb plugin is missing; the test then skips.
        qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
        // A bare X session: no desktop's own platform theme.
        qunsetenv("QT_QPA_PLATFORMTHEME");
        qunsetenv("XDG_CURRENT_DESKTOP");
    }
    QApplication application(argc, argv);
    TestTrayDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_traydesktop.moc"
