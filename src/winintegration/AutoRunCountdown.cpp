#include "winintegration/AutoRunCountdown.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"

#include <QScopeGuard>

AutoRunCountdown::AutoRunCountdown(Actions actions)
    : m_actions(std::move(actions)),
      tmrCountDown(Services::clock().createTimer(TickMs, [this] { tick(); }))
{
    m_actions.showSeconds(m_seconds);
    // Stored before the timer starts, as every store is made with the timer stopped: a
    // fault told in a box left open must not let the countdown run out beneath it.
    storeRunSequenceNow(false);
    tmrCountDown->start();
}

AutoRunCountdown::~AutoRunCountdown() = default;

void AutoRunCountdown::tick()
{
    if (m_state != State::Counting)
        return;
    --m_seconds;
    m_actions.showSeconds(m_seconds);
    if (m_seconds <= 0)
        runSequence();
}

void AutoRunCountdown::startNow()
{
    if (m_state == State::Counting)
        runSequence();
}

void AutoRunCountdown::askToCancel()
{
    if (m_state != State::Counting || m_questionOpen)
        return;
    // The countdown goes on while the question is open: it may start the sequence
    // meanwhile, and then the answer no longer matters.
    m_questionOpen = true;
    const Prompt::Answer answer =
        Services::prompt().ask(QStringLiteral("Cancel back up sequence?"));
    m_questionOpen = false;
    if (m_state == State::Counting && answer == Prompt::Answer::Yes)
        cancel();
    else if (m_finishPending)
        finish();
}

void AutoRunCountdown::abandon()
{
    if (m_state == State::Counting)
        cancel();
}

void AutoRunCountdown::runSequence()
{
    // Stopped first, so that the countdown never starts a second sequence.
    tmrCountDown->stop();
    m_state = State::SequenceRunning;
    storeRunSequenceNow(true);
    // A sequence that fails past its own guards still ends the countdown.
    const auto over = qScopeGuard([this] {
        m_state = State::Over;
        finish();
    });
    m_actions.startSequence();
}

void AutoRunCountdown::cancel()
{
    tmrCountDown->stop();
    m_state = State::Over;
    storeRunSequenceNow(false);
    finish();
}

void AutoRunCountdown::finish()
{
    // The question's handler is still running below this one; the window must stay
    // until it has returned.
    if (m_questionOpen) {
        m_finishPending = true;
        return;
    }
    m_finishPending = false;
    m_actions.finished();
}

void AutoRunCountdown::storeRunSequenceNow(bool value)
{
    // Nothing in the program reads the flag, so a settings file that cannot be
    // written is told but never keeps a backup from starting.
    m_unattended.run([value] { TQuayRegistryObject().WriteRunSequenceNow(value); });
}
