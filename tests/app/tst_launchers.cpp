#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The desktop launchers of the four editions: the ones `cmake --install` puts into
// share/applications with their icons, and the ones scripts/install-launchers.sh (run
// by scripts/run.sh) writes for the user's own builds. Each passes desktop-file-validate.
class TestLaunchers : public QObject
{
    Q_OBJECT

private:
    struct Finished
    {
        int exitCode = -1;
        QString output;
    };

    static QString sourceDir() { return QDir::cleanPath(KESTREL_TEST_SCRIPTS "/../.."); }

    static Finished
    run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        Finished finished;
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
            finished.exitCode = process.exitCode();
        finished.output = QString::fromUtf8(process.readAll());
        return finished;
    }

    // desktop-file-validate's complaints; empty when the file is sound.
    static QString complaints(const QString& desktopFile)
    {
        const Finished validated = run("desktop-file-validate", {desktopFile});
        return validated.exitCode == 0
                   ? validated.output.trimmed()
                   : QString("exit %1: %2").arg(validated.exitCode).arg(validated.output.trimmed());
    }

    static QStringList lines(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll()
                                              : QByteArray("missing " + path.toUtf8());
    }

    static const QStringList& programs()
    {
        static const QStringList names = {"kestrelsolo", "kestrelclient", "kestreldrive",
                                          "kestrelcd"};
        return names;
    }

private Q_SLOTS:
    void installedLaunchers()
    {
        QTemporaryDir prefix;
        const Finished installed =
            run("cmake",
                {"-DCMAKE_INSTALL_PREFIX=" + prefix.path(), "-DCMAKE_INSTALL_COMPONENT=launchers",
                 "-P", KESTREL_BINARY_DIR "/src/app/cmake_install.cmake"});
        QVERIFY2(installed.exitCode == 0, qPrintable(installed.output));
        const QStringList editions = {"KestrelSolo", "KestrelClient", "KestrelDrive", "KestrelCD"};
        for (qsizetype i = 0; i < programs().size(); ++i) {
            const QString& program = programs().at(i);
            const QString launcher = prefix.path() + "/share/applications/" + program + ".desktop";
            QCOMPARE(complaints(launcher), QString());
            const QStringList entries = lines(launcher);
            QVERIFY(entries.contains("Name=" + editions.at(i)));
            QVERIFY(entries.contains("Exec=" + program));
            QVERIFY(entries.contains("Icon=" + program));
            QCOMPARE(
                contents(prefix.path() + "/share/icons/hicolor/scalable/apps/" + program + ".svg"),
                contents(sourceDir() + "/src/ui/icons/" + program + ".svg"));
        }
    }

    void userLaunchersNameTheBuiltProgram()
    {
        QTemporaryDir dir;
        // A build folder whose name holds every character the Exec= quoting must escape.
        const QString build = dir.path() + "/build \"odd\" $HOME `x` 100% \\ dir";
        QVERIFY(QDir().mkpath(build + "/src/app"));
        QVERIFY(QDir().mkpath(build + "/launchers"));
        for (const QString& program : programs()) {
            QVERIFY(QFile::copy(KESTREL_BINARY_DIR "/launchers/" + program + ".desktop",
                                build + "/launchers/" + program + ".desktop"));
            // The CD edition is left unbuilt: it gets no launcher.
            if (program == "kestrelcd")
                continue;
            QFile executable(build + "/src/app/" + program);
            QVERIFY(executable.open(QIODevice::WriteOnly));
            executable.write("#!/bin/sh\n");
            executable.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", dir.path() + "/home");
        environment.insert("XDG_DATA_HOME", dir.path() + "/data");
        const Finished installed =
            run("bash", {sourceDir() + "/scripts/install-launchers.sh", build}, environment);
        QVERIFY2(installed.exitCode == 0, qPrintable(installed.output));

        const QString applications = dir.path() + "/data/applications/";
        const QString icons = dir.path() + "/data/icons/hicolor/scalable/apps/";
        for (const QString& program : programs()) {
            if (program == "kestrelcd") {
                QVERIFY(!QFile::exists(applications + program + ".desktop"));
                continue;
            }
            const QString launcher = applications + program + ".desktop";
            QCOMPARE(complaints(launcher), QString());
            // Quoted whole; " ` $ \ escaped inside the quotes, each \ then escaped again
            // as a string value, % doubled.
            const QString exec = "Exec=\"" + dir.path() +
                                 "/build \\\\\"odd\\\\\" \\\\$HOME \\\\`x\\\\` 100%% \\\\\\\\ "
                                 "dir/src/app/" +
                                 program + "\"";
            QVERIFY2(lines(launcher).contains(exec), qPrintable(lines(launcher).join('\n')));
            QVERIFY(lines(launcher).contains("Icon=" + program));
            QCOMPARE(contents(icons + program + ".svg"),
                     contents(sourceDir() + "/src/ui/icons/" + program + ".svg"));
        }
    }
};

QTEST_MAIN(TestLaunchers)
#include "tst_launchers.moc"
