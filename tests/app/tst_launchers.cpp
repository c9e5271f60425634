#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The desktop launchers of the four editions: those `cmake --install` puts into
// share/applications with their icons, and those scripts/install-launchers.sh (run by
// scripts/run.sh) writes for the user's own builds. Each passes desktop-file-validate.
class TestLaunchers : public QObject
{
    Q_OBJECT

private:
    const QStringList programs{"kestrelsolo", "kestrelclient", "kestreldrive", "kestrelcd"};
    const QString source = QDir::cleanPath(KESTREL_TEST_SCRIPTS "/../..");

    // The program's exit code and output; -1 when it did not end normally.
    static QPair<int, QString>
    run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        const bool ended = process.waitForFinished(60000) && process.exitStatus() == 0;
        return {ended ? process.exitCode() : -1, QString::fromUtf8(process.readAll()).trimmed()};
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : "missing " + path.toUtf8();
    }

    // Validates a launcher and returns its lines.
    static QStringList validLauncher(const QString& path)
    {
        const auto [exitCode, complaints] = run("desktop-file-validate", {path});
        if (exitCode != 0 || !complaints.isEmpty())
            qWarning("%s: %s", qPrintable(path), qPrintable(complaints));
        return exitCode == 0 && complaints.isEmpty() ? QString::fromUtf8(contents(path)).split('\n')
                                                     : QStringList();
    }

private Q_SLOTS:
    void installedLaunchers()
    {
        QTemporaryDir prefix;
        const auto [exitCode, output] =
            run("cmake",
                {"-DCMAKE_INSTALL_PREFIX=" + prefix.path(), "-DCMAKE_INSTALL_COMPONENT=launchers",
                 "-P", KESTREL_BINARY_DIR "/src/app/cmake_install.cmake"});
        QVERIFY2(exitCode == 0, qPrintable(output));
        for (const QString& program : programs) {
            const QStringList lines =
                validLauncher(prefix.path() + "/share/applications/" + program + ".desktop");
            QVERIFY(lines.contains("Exec=" + program));
            QVERIFY(lines.contains("Icon=" + program));
            QCOMPARE(
                contents(prefix.path() + "/share/icons/hicolor/scalable/apps/" + program + ".svg"),
                contents(source + "/src/ui/icons/" + program + ".svg"));
        }
    }

    void userLaunchersNameTheBuiltProgram()
    {
        QTemporaryDir dir;
        // A build folder whose name holds every character the Exec= quoting must escape.
        const QString build = dir.path() + "/build \"odd\" $HOME `x` 100% \\ dir";
        QVERIFY(QDir().mkpath(build + "/src/app") && QDir().mkpath(build + "/launchers"));
        for (const QString& program : programs) {
            QVERIFY(QFile::copy(KESTREL_BINARY_DIR "/launchers/" + program + ".desktop",
                                build + "/launchers/" + program + ".desktop"));
            // The CD edition is left unbuilt: it gets no launcher.
            QFile executable(build + "/src/app/" + program);
            if (program != "kestrelcd" && executable.open(QIODevice::WriteOnly))
                executable.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", dir.path() + "/home");
        environment.insert("XDG_DATA_HOME", dir.path() + "/data");
        const auto [exitCode, output] =
            run("bash", {source + "/scripts/install-launchers.sh", build}, environment);
        QVERIFY2(exitCode == 0, qPrintable(output));

        const QString data = dir.path() + "/data";
        QVERIFY(!QFile::exists(data + "/applications/kestrelcd.desktop"));
        for (const QString& program : programs.first(3)) {
            const QStringList lines = validLauncher(data + "/applications/" + program + ".desktop");
            // Quoted whole; " ` $ \ escaped inside the quotes, each \ then escaped again
            // as a string value, % doubled.
            QVERIFY(lines.contains("Exec=\"" + dir.path() +
                                   "/build \\\\\"odd\\\\\" \\\\$HOME \\\\`x\\\\` 100%% \\\\\\\\ "
                                   "dir/src/app/" +
                                   program + "\""));
            QVERIFY(lines.contains("Icon=" + program));
            QCOMPARE(contents(data + "/icons/hicolor/scalable/apps/" + program + ".svg"),
                     contents(source + "/src/ui/icons/" + program + ".svg"));
        }
    }
};

QTEST_MAIN(TestLaunchers)
#include "tst_launchers.moc"
