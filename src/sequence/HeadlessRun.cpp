#include "sequence/HeadlessRun.h"

#include "core/CertificateFingerprint.h"
#include "core/Clock.h"
#include "core/KestrelCommandLine.h"
#include "core/KestrelError.h"
#include "core/PlatformServices.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "core/SettingsDatabase.h"
#include "sequence/BackUpSequence.h"
#include "sequence/DryRun.h"
#include "sequence/HeadlessSequenceWindow.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "transport/ServerCertificateTrust.h"
#include "transport/SmtpProblemText.h"

#include <QTextStream>

#include <cstdio>

int HeadlessRun::exec()
{
    // Without its settings the run could neither find the lists nor record what it sent.
    const QString problem = SettingsDatabase::openProblem();
    if (!problem.isEmpty()) {
        Services::prompt().notify(problem, Prompt::Icon::Error);
        return NotStarted;
    }
    const QString damaged = SettingsDatabase::takeDamagedNotice();
    if (!damaged.isEmpty())
        Services::prompt().notify(damaged, Prompt::Icon::Warning);
    if (!m_certificateToTrust.isEmpty() && !trustCertificate())
        return NotStarted;
    if (!m_runsSequence)
        return Succeeded;
    if (m_dryRun)
        return DryRun(m_out, m_fullBackUp).exec() == 0 ? Succeeded : Failed;

    HeadlessSequenceWindow window(m_out, m_fullBackUp ? SequenceWindow::BackUpType::Full
                                                      : SequenceWindow::BackUpType::Incremental);
    SequenceState state;
    SequenceCompletion completion(window, state);
    BackUpSequence sequence(window, completion);
    try {
        sequence.RunBackUpSequence();
        // A disc sequence ends when its burn has.
        while (sequence.burning())
            Services::clock().waitPumping(BurnPollMs);
        if (window.takeShutDownDelay() && !m_noShutDown) {
            Services::clock().waitPumping(SequenceCompletion::ShutDownDelayMs);
            completion.ShutDownDelayElapsed();
        }
        if (window.takeShutDownCountdown() && !m_noShutDown)
            powerOffAfterCountdown();
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        return Failed;
    } catch (const std::exception& error) {
        Services::prompt().notify(QString::fromLocal8Bit(error.what()), Prompt::Icon::Error);
        return Failed;
    }
    switch (completion.lastOutcome()) {
    case SequenceCompletion::Outcome::Succeeded:
        return Succeeded;
    case SequenceCompletion::Outcome::Failed:
        return Failed;
    case SequenceCompletion::Outcome::None:
        break;
    }
    // The driver said in a status line why it did not start (another sequence runs).
    return NotStarted;
}

bool HeadlessRun::trustCertificate()
{
    const TQuayRegistryObject store;
    const QString host = store.ReadUserSMPTName().trimmed();
    if (host.isEmpty()) {
        Services::prompt().notify(QStringLiteral("No SMTP server is set, so no certificate can be "
                                                 "trusted for it."),
                                  Prompt::Icon::Error);
        return false;
    }
    const int port = store.ReadUserConnectionPort();
    try {
        ServerCertificateTrust::trust(host, port, m_certificateToTrust);
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        return false;
    }
    m_out << QStringLiteral("The certificate with SHA-256 fingerprint %1 is trusted for the SMTP "
                            "server %2.")
                 .arg(CertificateFingerprint::text(m_certificateToTrust),
                      smtpServerText(host, port))
          << Qt::endl;
    return true;
}

void HeadlessRun::powerOffAfterCountdown()
{
    // Nobody can press Cancel here; stopping the run (Ctrl+C) during the wait does.
    m_out
        << QStringLiteral("Computer will be shut down in %1 seconds.").arg(ShutDownCountdownSeconds)
        << Qt::endl;
    Services::clock().waitPumping(ShutDownCountdownSeconds * 1000);
    const QString problem = Services::powerOff().powerOff();
    if (!problem.isEmpty())
        Services::prompt().notify(problem, Prompt::Icon::Error);
}

int HeadlessRun::runCommand(QTextStream& out, const KestrelCommandLine& commandLine)
{
    HeadlessRun run(out, commandLine.fullBackUp());
    run.setCertificateToTrust(commandLine.certificateToTrust());
    run.setRunsSequence(commandLine.action() == KestrelCommandLine::Action::RunSequence);
    run.setDryRun(commandLine.dryRun());
    run.setNoShutDown(commandLine.noShutDown());
    return run.exec();
}
