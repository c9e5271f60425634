#include "core/UnattendedSteps.h"

#include "core/Services.h"
#include "core/SettingsDatabase.h"
#include "core/SettingsError.h"

namespace {

// What the user is told about a settings file that cannot be opened, for the window,
// which goes on without it.
QString settingsNotice(const QString& problem)
{
    return problem + QStringLiteral(" Until it can, the default settings are used and changes "
                                    "to them are not kept.");
}

} // namespace

void UnattendedSteps::checkSettings()
{
    const QString problem = SettingsDatabase::openProblem();
    if (!problem.isEmpty())
        tell(settingsNotice(problem));
    const QString damaged = SettingsDatabase::takeDamagedNotice();
    if (!damaged.isEmpty())
        tell(damaged, Prompt::Icon::Warning);
}

void UnattendedSteps::run(const std::function<void()>& step)
{
    try {
        step();
    } catch (const SettingsError& error) {
        const QString problem = SettingsDatabase::openProblem();
        tell(problem.isEmpty() ? error.message() : settingsNotice(problem));
    } catch (const KestrelError& error) {
        tell(error.message());
    } catch (const std::exception& error) {
        tell(QString::fromLocal8Bit(error.what()));
    }
}

void UnattendedSteps::tell(const QString& text, Prompt::Icon icon)
{
    if (m_told.contains(text))
        return;
    m_told.insert(text);
    Services::prompt().notify(text, icon);
}
