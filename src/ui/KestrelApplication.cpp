#include "ui/KestrelApplication.h"

#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/RecordingPlatform.h"
#include "core/ScriptedPrompt.h"
#include "core/Services.h"
#include "transport/CommandDialUp.h"
#include "ui/WidgetPrompt.h"
#include "ui/frmKestrelClientMain.h"
#include "winintegration/LogindPowerOff.h"
#include "winintegration/XdgAutostart.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>

#include <memory>

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

struct RealPlatform
{
    XdgAutostart autostart;
    LogindPowerOff powerOff;
    CommandDialUp dialUp;
};

// With KESTREL_SCREENSHOT_DIR set, the program saves a picture of each page of the
// main window into that folder and quits: how the pages are looked at without a desktop.
void saveScreenshotsAndQuit(TfrmKestrelClientMain* window, const QString& folder)
{
    QDir().mkpath(folder);
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
    window->TerminateApplication();
}

struct FakePlatform
{
    RecordingAutostart autostart;
    RecordingPowerOff powerOff;
    RecordingDialUp dialUp;
};

} // namespace

int runKestrelEdition(int argc, char* argv[], const QString& editionName)
{
    GuardedApplication application(argc, argv);
    QApplication::setApplicationName(editionName);
    QApplication::setOrganizationName(QStringLiteral("Orrery"));

    const QString screenshotFolder = qEnvironmentVariable("KESTREL_SCREENSHOT_DIR");
    WidgetPrompt prompt;
    ScriptedPrompt silentPrompt;
    SystemClock clock;
    Services::Set services{&prompt, &clock, nullptr, nullptr, nullptr};
    if (!screenshotFolder.isEmpty())
        services.prompt = &silentPrompt;
    // End-to-end tests run the real executable with recording fakes, so that it can
    // never power the machine off, dial or write an autostart entry.
    std::unique_ptr<RealPlatform> real;
    std::unique_ptr<FakePlatform> fake;
    if (qEnvironmentVariable("KESTREL_FAKE_PLATFORM") == QLatin1String("1")) {
        fake = std::make_unique<FakePlatform>();
        services.autostart = &fake->autostart;
        services.powerOff = &fake->powerOff;
        services.dialUp = &fake->dialUp;
    } else {
        real = std::make_unique<RealPlatform>();
        services.autostart = &real->autostart;
        services.powerOff = &real->powerOff;
        services.dialUp = &real->dialUp;
    }
    const ScopedServices installed(services);

    TfrmKestrelClientMain window;
    prompt.setParentWindow(&window);
    window.show();
    // KESTREL_QUIT_WHEN_SHOWN=1 ends the program as soon as the window is up: the
    // start-up benchmark times whole processes this way.
    if (qEnvironmentVariable("KESTREL_QUIT_WHEN_SHOWN") == QLatin1String("1"))
        QTimer::singleShot(0, &window, [&window] { window.TerminateApplication(); });
    if (!screenshotFolder.isEmpty())
        QTimer::singleShot(500, &window, [&window, screenshotFolder] {
            saveScreenshotsAndQuit(&window, screenshotFolder);
        });
    return QApplication::exec();
}
