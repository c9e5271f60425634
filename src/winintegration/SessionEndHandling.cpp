#include "winintegration/SessionEndHandling.h"

#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"

SessionEndHandling::SessionEndHandling(bool& shutDownTriggered, Actions actions)
    : m_shutDownTriggered(shutDownTriggered), m_actions(std::move(actions)),
      tmrWindowsShutDownBackUpSequenceRun(
          Services::clock().createTimer(SequenceStartDelayMs, [this] { startSequence(); })),
      tmrStartShutDownSequene(
          Services::clock().createTimer(ShutDownDelayMs, [this] { shutDownDelayElapsed(); }))
{}

SessionEndHandling::~SessionEndHandling() = default;

bool SessionEndHandling::QueryEndSession()
{
    bool runSequence = false;
    try {
        runSequence = TQuayRegistryObject().ReadRunSequenceOnWindowsShutDown();
    } catch (const KestrelError&) {
        // A settings store that cannot be read must never keep the session from ending.
        runSequence = false;
    }
    if (runSequence && !m_shutDownTriggered) {
        tmrWindowsShutDownBackUpSequenceRun->start();
        return false;
    }
    return true;
}

void SessionEndHandling::startShutDownDelayTimer()
{
    tmrStartShutDownSequene->start();
}

void SessionEndHandling::startSequence()
{
    // Both timers fire once.
    tmrWindowsShutDownBackUpSequenceRun->stop();
    m_actions.showWindowMaximised();
    m_shutDownTriggered = true;
    m_actions.runSequence();
}

void SessionEndHandling::shutDownDelayElapsed()
{
    tmrStartShutDownSequene->stop();
    m_actions.shutDownDelayElapsed();
}
