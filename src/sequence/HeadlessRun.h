#pragma once

#include <QByteArray>

class KestrelCommandLine;
class QTextStream;

// One backup sequence without a window (kestrelsolo --run): the stored settings and
// lists, status lines on a stream as they happen, and an exit status for the shell.
// The driver and its end operations are the window program's; what the end would
// open after the sequence (the shut-down delay and countdown) is carried out before
// the run returns, through the clock and the power-off service. With
// --trust-certificate the SMTP server's certificate with the given fingerprint is
// trusted first, so that a run that failed on a certificate nobody was there to ask
// about can go through.
class HeadlessRun
{
public:
    enum ExitStatus
    {
        Succeeded = 0,
        Failed = 1,
        NotStarted = 2
    };

    static constexpr int ShutDownCountdownSeconds = 30;
    static constexpr int BurnPollMs = 100;

    // The prompt, clock and platform services must be installed.
    HeadlessRun(QTextStream& out, bool fullBackUp) : m_out(out), m_fullBackUp(fullBackUp) {}

    // Before the run (or instead of it, without one) trusts the certificate with this
    // SHA-256 digest for the SMTP server in the settings (--trust-certificate).
    void setCertificateToTrust(const QByteArray& digest) { m_certificateToTrust = digest; }
    void setRunsSequence(bool runs) { m_runsSequence = runs; }
    // Lists what the sequence would back up instead of running it (--dry-run).
    void setDryRun(bool dryRun) { m_dryRun = dryRun; }
    // The settings' shut-down after the sequence is skipped (a scheduled run).
    void setNoShutDown(bool noShutDown) { m_noShutDown = noShutDown; }

    int exec();

    // The command (--run or --trust-certificate) in the frame the program sets up for
    // runs without a window: status lines to out, the exit status returned.
    static int runCommand(QTextStream& out, const KestrelCommandLine& commandLine);

private:
    bool trustCertificate();
    void powerOffAfterCountdown();

    QTextStream& m_out;
    bool m_fullBackUp;
    bool m_runsSequence = true;
    bool m_dryRun = false;
    bool m_noShutDown = false;
    QByteArray m_certificateToTrust;
};
