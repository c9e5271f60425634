#include "core/EditionProfile.h"
#include "support/TestEnvironment.h"
#include "winintegration/XdgFileManagerMenu.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <memory>

// The file-manager entry as the desktop sees it: the helper copied once into the
// shell-extension folder, the three action files (valid, executable where the file
// manager wants it, running the copy with the selected paths), removal that keeps the
// helper, and registration that brings a removed entry back.
class TestFileManagerMenu : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> env;
    const EditionProfile& solo = editionProfile(Edition::KestrelSolo);

    // A stand-in helper in a source folder: a script that prints its arguments one a line.
    QString writeSourceHelper(const QByteArray& marker) const
    {
        const QString path = env->writeFile("source/kestrelsolo-add",
                                            "#!/bin/sh\n# " + marker +
                                                "\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; "
                                                "done\n");
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
        return QFileInfo(path).absolutePath();
    }
    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static bool executable(const QString& path) { return QFileInfo(path).isExecutable(); }
    static QString
    run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            return "failed: " + QString::fromUtf8(process.readAll());
        return QString::fromUtf8(process.readAll());
    }

    static QString runIgnoringExit(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAll());
    }

private Q_SLOTS:
    void init() { env = std::make_unique<TestEnvironment>(); }
    void cleanup() { env.reset(); }

    void registrationCopiesTheHelperOnceAndWritesTheActionFiles()
    {
        XdgFileManagerMenu menu(writeSourceHelper("first"));
        QVERIFY(menu.registerMenu(solo));
        const QString helper = XdgFileManagerMenu::helperPath(solo);
        QCOMPARE(helper, env->root() + "/home/.local/share/Orrery/ShellExt/kestrelsolo-add");
        QVERIFY(contents(helper).contains("# first"));
        QVERIFY(executable(helper));

        const auto files = XdgFileManagerMenu::actionFiles(solo);
        const QString data = env->root() + "/home/.local/share";
        QCOMPARE(files.dolphin, data + "/kio/servicemenus/KestrelSoloDLL.desktop");
        QCOMPARE(files.nautilus, data + "/nautilus/scripts/Add items to KestrelSolo backup lists.");
        QCOMPARE(files.nemo, data + "/nemo/actions/KestrelSoloDLL.nemo_action");
        QVERIFY(executable(files.dolphin));
        QVERIFY(executable(files.nautilus));
        QVERIFY(QFileInfo(files.nemo).isFile());

        // The validator knows Dolphin's service type only to refuse its three keys; any
        // other complaint (escaping, groups, unknown keys) is a fault of ours.
        QStringList complaints = runIgnoringExit("desktop-file-validate", {files.dolphin})
                                     .split('\n', Qt::SkipEmptyParts);
        const QStringList serviceTypeComplaints{
            "\"all/all\" which is an invalid MIME type",
            "key \"MimeType\" is present in group \"Desktop Entry\", but the type is "
            "\"Service\"",
            "key \"Actions\" is present in group \"Desktop Entry\", but the type is "
            "\"Service\""};
        complaints.removeIf([&](const QString& line) {
            return std::any_of(serviceTypeComplaints.cbegin(), serviceTypeComplaints.cend(),
                               [&](const QString& known) { return line.contains(known); });
        });
        QVERIFY2(complaints.isEmpty(), qPrintable(complaints.join('\n')));
        const QByteArray dolphin = contents(files.dolphin);
        QVERIFY(dolphin.contains("Type=Service\n"));
        QVERIFY(dolphin.contains("MimeType=all/all;\n"));
        QVERIFY(dolphin.contains("Name=Add items to KestrelSolo backup lists.\n"));
        QVERIFY(dolphin.contains("Exec=\"" + helper.toUtf8() + "\" %F\n"));
        const QByteArray nemo = contents(files.nemo);
        for (const QByteArray& line : QByteArrayList{
                 "Name=Add items to KestrelSolo backup lists.", "Selection=notnone",
                 "Extensions=any;", "Quote=double", "Exec=\"" + helper.toUtf8() + "\" %F"})
            QVERIFY2(nemo.contains(line + "\n"), line.constData());

        // A newer helper in the program's folder does not replace the copy.
        XdgFileManagerMenu newer(writeSourceHelper("second"));
        QVERIFY(newer.registerMenu(solo));
        QVERIFY(contents(helper).contains("# first"));
    }

    void nautilusScriptHandsOverEachSelectedPathWhole()
    {
        XdgFileManagerMenu menu(writeSourceHelper("first"));
        QVERIFY(menu.registerMenu(solo));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // One path a line, as the file manager sets it, with a trailing line break.
        environment.insert("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS",
                           "/tmp/two  blanks.txt\n/tmp/star*\n/tmp/it's $HOME\n");
        QCOMPARE(run(XdgFileManagerMenu::actionFiles(solo).nautilus, {}, environment),
                 QString("/tmp/two  blanks.txt\n/tmp/star*\n/tmp/it's $HOME\n"));
    }

    void removalKeepsTheHelperAndTheNextRegistrationBringsTheEntryBack()
    {
        const QString source = writeSourceHelper("first");
        XdgFileManagerMenu menu(source);
        QVERIFY(menu.registerMenu(solo));
        QVERIFY(menu.removeMenu(solo));
        const auto files = XdgFileManagerMenu::actionFiles(solo);
        for (const QString& path : {files.dolphin, files.nautilus, files.nemo})
            QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
        QVERIFY(QFileInfo::exists(XdgFileManagerMenu::helperPath(solo)));

        // The copy alone is enough: the program's own folder may have lost its helper.
        QVERIFY(QDir(source).removeRecursively());
        QVERIFY(menu.registerMenu(solo));
        for (const QString& path : {files.dolphin, files.nautilus, files.nemo})
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    }

    void withoutAHelperNothingIsWritten()
    {
        XdgFileManagerMenu menu(env->path("empty"));
        QVERIFY(!menu.registerMenu(solo));
        QVERIFY(!menu.removeMenu(solo));
        QVERIFY(!QFileInfo::exists(env->root() + "/home/.local/share/kio"));
        QVERIFY(!QFileInfo::exists(env->root() + "/home/.local/share/nautilus"));
        QVERIFY(!QFileInfo::exists(env->root() + "/home/.local/share/nemo"));
        // KestrelClient has no entry at all.
        QVERIFY(!menu.registerMenu(editionProfile(Edition::KestrelClient)));
    }
};

QTEST_GUILESS_MAIN(TestFileManagerMenu)
#include "tst_filemanagermenu.moc"
