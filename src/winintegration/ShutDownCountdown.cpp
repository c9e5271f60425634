#include "winintegration/ShutDownCountdown.h"

#include "core/Clock.h"
#include "core/PlatformServices.h"
#include "core/Prompt.h"
#include "core/Services.h"

ShutDownCountdown::ShutDownCountdown(Actions actions)
    : m_actions(std::move(actions)),
      tmrShutDown(Services::clock().createTimer(TickMs, [this] { tick(); }))
{
    m_actions.showSeconds(m_seconds);
    tmrShutDown->start();
}

ShutDownCountdown::~ShutDownCountdown() = default;

void ShutDownCountdown::tick()
{
    if (m_over)
        return;
    --m_seconds;
    m_actions.showSeconds(m_seconds);
    if (m_seconds <= 0)
        shutDown();
}

void ShutDownCountdown::cancel()
{
    if (m_over)
        return;
    tmrShutDown->stop();
    m_over = true;
    m_actions.finished();
}

void ShutDownCountdown::shutDown()
{
    tmrShutDown->stop();
    m_over = true;
    // The power-off forces the session to end and asks no program, this one included.
    // When it is refused the message is told and the countdown goes, so that no
    // window stays behind showing 0.
    const QString problem = Services::powerOff().powerOff();
    if (!problem.isEmpty())
        Services::prompt().notify(problem, Prompt::Icon::Error);
    m_actions.finished();
}
