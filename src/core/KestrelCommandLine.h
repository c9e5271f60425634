#pragma once

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

// The program's options. Without any it opens its window; --run runs one sequence
// without a window (--full makes it a full backup); --trust-certificate SHA256
// trusts the SMTP server's certificate with that fingerprint, alone or before a
// --run. Parsed before any application object exists, because the run without a
// window must not need a display.
class KestrelCommandLine
{
public:
    enum class Action
    {
        OpenWindow,
        RunSequence,
        TrustCertificate,
        ShowHelp,
        ShowVersion,
        Refuse
    };

    // The exit status of a command line that is refused.
    static constexpr int RefusedExitStatus = 2;

    // The arguments as given, the program's name first.
    explicit KestrelCommandLine(const QStringList& arguments);

    Action action() const { return m_action; }
    bool fullBackUp() const;
    // The SHA-256 digest given with --trust-certificate; empty without it.
    QByteArray certificateToTrust() const { return m_certificateToTrust; }
    // Why the command line is refused.
    QString errorText() const { return m_error; }
    // Names the executable only once an application object exists.
    QString helpText() const { return m_parser.helpText(); }
    // "<Edition> <version>".
    static QString versionText();

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_run;
    QCommandLineOption m_full;
    QCommandLineOption m_trustCertificate;
    QByteArray m_certificateToTrust;
    Action m_action = Action::OpenWindow;
    QString m_error;
};
