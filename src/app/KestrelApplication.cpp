#include "app/KestrelApplication.h"

#include "app/ProgramPlatform.h"
#include "app/ScreenshotPrompt.h"

#include "core/Clock.h"
#include "core/EditionProfile.h"
#include "core/KestrelCommandLine.h"
#include "core/KestrelError.h"
#include "core/PrivateFiles.h"
#include "core/SecretKeeping.h"
#include "core/Services.h"
#include "core/StreamPrompt.h"
#include "restore/HeadlessRestore.h"
#include "sequence/HeadlessRun.h"
#include "sequence/HeadlessSchedule.h"
#include "sequence/HeadlessSignIn.h"
#include "ui/DCMinTray.h"
#include "ui/EditionPicture.h"
#include "ui/QuayShutDown.h"
#include "ui/SummaryPage.h"
#include "ui/UserSettingsPage.h"
#include "ui/WidgetPrompt.h"
#include "ui/frmAutoRun.h"
#include "ui/frmKestrelClientMain.h"
#include "ui/frmKestrelWizard.h"
#include "ui/frmSplash.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

// Errors that no handler caught end up here and are shown in an error box, so one
// failed action never takes the program down.
class GuardedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const KestrelError& error) {
            Services::prompt().notify(error.message(), Prompt::Icon::Error);
        } catch (const std::exception& error) {
            Services::prompt().notify(QString::fromLocal8Bit(error.what()), Prompt::Icon::Error);
        }
        return false;
    }
};

// A sequence run with the profile as it is (a fresh one lacks the server, the folder
// or the burner, so it fails), and the Summary page with its memo afterwards.
void saveFailedRunMemo(TfrmKestrelClientMain* window, const QString& file)
{
    window->pgcKestrel->setCurrentWidget(window->summaryPage);
    window->RunBackUpSequence();
    QCoreApplication::processEvents();
    // The memo shows its pending lines a moment after the run has ended.
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    window->grab().save(file);
}

// With KESTREL_SCREENSHOT_DIR set, the program saves a picture of each page of the
// main window, of the splash, of the About window, of the two countdowns and of
// the setup wizard into that folder and quits: how the windows are looked at without
// a desktop. With KESTREL_SCREENSHOT_IMAGE_FILE set as well, the CD edition's Drive
// page is saved once more with that image file chosen as its burner, as a user
// chooses one; the prompt answers the file dialog.
void saveScreenshotsAndQuit(TfrmKestrelClientMain* window, const QString& folder,
                            ScreenshotPrompt& prompt)
{
    QDir().mkpath(folder);
    {
        TfrmSplash splash(window);
        splash.showSplash();
        splash.grab().save(folder + QStringLiteral("/Splash.png"));
    }
    TfrmSplash* about = window->ShowAbout();
    QCoreApplication::processEvents();
    about->grab().save(folder + QStringLiteral("/About.png"));
    about->close();
    QTabWidget* pages = window->pgcKestrel;
    for (int index = 0; index < pages->count(); ++index) {
        pages->setCurrentIndex(index);
        QCoreApplication::processEvents();
        const QString name = QStringLiteral("%1/%2-%3.png")
                                 .arg(folder)
                                 .arg(index + 1)
                                 .arg(pages->tabText(index).remove(QLatin1Char(' ')));
        window->grab().save(name);
    }
    {
        // A countdown of its own, gone long before its first tick: the picture must not
        // depend on the profile's start-up settings.
        TfrmAutoRun countdown([] {});
        countdown.show();
        QCoreApplication::processEvents();
        countdown.grab().save(
            QStringLiteral("%1/%2-AutoRun.png").arg(folder).arg(pages->count() + 1));
    }
    {
        // The shut-down countdown, cancelled before its first tick: nothing powers off.
        auto* shutDown = new TQuayShutDown;
        shutDown->show();
        QCoreApplication::processEvents();
        shutDown->grab().save(
            QStringLiteral("%1/%2-ShutDown.png").arg(folder).arg(pages->count() + 2));
        shutDown->btnCancel->click();
    }
    {
        // The wizard on its first step, showing the profile's current values.
        TfrmKestrelWizard* wizard = window->ShowSetupWizard();
        QCoreApplication::processEvents();
        wizard->grab().save(
            QStringLiteral("%1/%2-SetupWizard.png").arg(folder).arg(pages->count() + 3));
        wizard->close();
    }
    saveFailedRunMemo(window,
                      QStringLiteral("%1/%2-FailedRun.png").arg(folder).arg(pages->count() + 4));
    const QString image = qEnvironmentVariable("KESTREL_SCREENSHOT_IMAGE_FILE");
    if (isEdition(Edition::KestrelCD) && !image.isEmpty()) {
        pages->setCurrentWidget(window->userSettingsPage);
        prompt.chooseNextPath(image);
        window->userSettingsPage->btnBrowseCDImage->click();
        QCoreApplication::processEvents();
        window->grab().save(
            QStringLiteral("%1/%2-DriveWithImageFile.png").arg(folder).arg(pages->count() + 5));
    }
    window->TerminateApplication();
}

int runWindow(int& argc, char* argv[])
{
    GuardedApplication application(argc, argv);
    // The desktop finds the launcher, and with it the icon, by this name.
    QGuiApplication::setDesktopFileName(QCoreApplication::applicationName().toLower());
    QApplication::setWindowIcon(EditionPicture::icon(currentEdition()));
    const QString screenshotFolder = qEnvironmentVariable("KESTREL_SCREENSHOT_DIR");
    WidgetPrompt prompt;
    ScreenshotPrompt silentPrompt;
    SystemClock clock;
    const ProgramPlatform platform;
    const ScopedServices installed(platform.services(
        screenshotFolder.isEmpty() ? static_cast<Prompt*>(&prompt) : &silentPrompt, &clock));

    TfrmKestrelClientMain window;
    prompt.setParentWindow(&window);
    window.summaryPage->addStatusLine(SecretKeeping::placeText());
    // Started minimised into the tray, the window shows only as its icon.
    if (!window.tray->keepsWindowHidden())
        window.show();
    // KESTREL_QUIT_WHEN_SHOWN=1 ends the program as soon as the window is up: the
    // start-up benchmark times whole processes this way.
    if (qEnvironmentVariable("KESTREL_QUIT_WHEN_SHOWN") == QLatin1String("1"))
        QTimer::singleShot(0, &window, [&window] { window.TerminateApplication(); });
    if (!screenshotFolder.isEmpty())
        QTimer::singleShot(500, &window, [&window, screenshotFolder, &silentPrompt] {
            saveScreenshotsAndQuit(&window, screenshotFolder, silentPrompt);
        });
    return QApplication::exec();
}

// The frame of every run without a window: a core application (no display is
// needed), the stream prompt on standard error, the real clock and the program's
// platform services; the command writes its lines to standard output and returns the
// exit status. Where passwords are kept is said first, on standard error.
int runWithoutWindow(int& argc, char* argv[], const std::function<int(QTextStream& out)>& command)
{
    const QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream errors(stderr);
    StreamPrompt prompt(errors);
    SystemClock clock;
    const ProgramPlatform platform;
    const ScopedServices installed(platform.services(&prompt, &clock));
    errors << SecretKeeping::placeText() << Qt::endl;
    return command(out);
}

} // namespace

int runKestrelEdition(int argc, char* argv[], const QString& editionName, const QString& version)
{
    QCoreApplication::setApplicationName(editionName);
    QCoreApplication::setApplicationVersion(version);
    QCoreApplication::setOrganizationName(QStringLiteral("Orrery"));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const KestrelCommandLine commandLine(arguments);
    // What an earlier version left readable to others is tightened before anything is
    // read or written; help, the version and a refused command line touch no file.
    const KestrelCommandLine::Action action = commandLine.action();
    if (action != KestrelCommandLine::Action::Refuse &&
        action != KestrelCommandLine::Action::ShowHelp &&
        action != KestrelCommandLine::Action::ShowVersion)
        PrivateFiles::tightenAtStart();
    switch (action) {
    case KestrelCommandLine::Action::Refuse:
        QTextStream(stderr) << commandLine.errorText() << Qt::endl
                            << QStringLiteral("Try --help for the options.") << Qt::endl;
        return KestrelCommandLine::RefusedExitStatus;
    case KestrelCommandLine::Action::ShowHelp: {
        // The help names the executable from the application object's arguments.
        const QCoreApplication application(argc, argv);
        QTextStream(stdout) << commandLine.helpText();
        return 0;
    }
    case KestrelCommandLine::Action::ShowVersion:
        QTextStream(stdout) << KestrelCommandLine::versionText() << Qt::endl;
        return 0;
    case KestrelCommandLine::Action::RunSequence:
    case KestrelCommandLine::Action::TrustCertificate:
        return runWithoutWindow(argc, argv, [&](QTextStream& out) {
            return HeadlessRun::runCommand(out, commandLine);
        });
    case KestrelCommandLine::Action::ListSaved:
    case KestrelCommandLine::Action::RestoreSaved:
    case KestrelCommandLine::Action::VerifySaved:
        return runWithoutWindow(argc, argv, [&](QTextStream& out) {
            return HeadlessRestore::runCommand(out, commandLine);
        });
    case KestrelCommandLine::Action::SignIn:
        return runWithoutWindow(
            argc, argv, [&](QTextStream& out) { return HeadlessSignIn::run(out, commandLine); });
    case KestrelCommandLine::Action::Schedule:
        return runWithoutWindow(
            argc, argv, [&](QTextStream& out) { return HeadlessSchedule::run(out, commandLine); });
    case KestrelCommandLine::Action::OpenWindow:
        break;
    }
    return runWindow(argc, argv);
}
