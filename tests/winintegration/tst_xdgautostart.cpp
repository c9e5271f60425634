#include "core/KestrelError.h"
#include "support/TestEnvironment.h"
#include "winintegration/XdgAutostart.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

// The start-at-log-in entry as an XDG autostart file in a temporary config folder.
class TestXdgAutostart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writeCheckAndDelete()
    {
        TestEnvironment env(QStringLiteral("KestrelDrive"));
        XdgAutostart autostart;
        QVERIFY(!autostart.isPresent());
        autostart.write(true);
        const QString path = XdgAutostart::entryPath();
        QCOMPARE(path, env.root() + QStringLiteral("/home/.config/autostart/KestrelDrive.desktop"));
        QVERIFY(autostart.isPresent());

        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {path});
        QVERIFY(validate.waitForFinished(10000));
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());

        autostart.write(false);
        QVERIFY(!QFile::exists(path));
        QVERIFY(!autostart.isPresent());
        autostart.write(false); // deleting a missing entry is no error
    }

    void hiddenOrEmptyEntriesDoNotCount()
    {
        TestEnvironment env;
        const QString path = XdgAutostart::entryPath();
        env.writeFile(path.mid(env.root().size() + 1),
                      "[Desktop Entry]\nType=Application\nName=K\nExec=/x\nHidden=true\n");
        QVERIFY(!XdgAutostart().isPresent());
        env.writeFile(path.mid(env.root().size() + 1),
                      "[Desktop Entry]\nType=Application\nName=K\nExec=\n");
        QVERIFY(!XdgAutostart().isPresent());
        env.writeFile(path.mid(env.root().size() + 1),
                      "[Other]\nExec=/x\n[Desktop Entry]\nName=K\n");
        QVERIFY(!XdgAutostart().isPresent());
    }

    void failuresNameTheEntryAndTheCause()
    {
        TestEnvironment env;
        // A file where the autostart folder should be holds for root too.
        const QString folder = QFileInfo(XdgAutostart::entryPath()).absolutePath();
        env.writeFile(folder.mid(env.root().size() + 1), "not a folder");
        try {
            XdgAutostart().write(true);
            QFAIL("the write should have failed");
        } catch (const KestrelError& error) {
            QCOMPARE(error.message(), QStringLiteral("Unable to write %1: Not a directory")
                                          .arg(XdgAutostart::entryPath()));
        }
    }

    void execQuoting()
    {
        QCOMPARE(XdgAutostart::quoteExecArgument(QStringLiteral("/opt/my apps/kestrelsolo")),
                 QStringLiteral("\"/opt/my apps/kestrelsolo\""));
        QCOMPARE(XdgAutostart::quoteExecArgument(QStringLiteral("/a$b\"c`d\\e%f")),
                 QStringLiteral("\"/a\\\\$b\\\\\"c\\\\`d\\\\\\\\e%%f\""));
    }
};

QTEST_GUILESS_MAIN(TestXdgAutostart)
#include "tst_xdgautostart.moc"
