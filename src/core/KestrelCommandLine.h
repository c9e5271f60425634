#pragma once

#include "core/BackUpSchedule.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

// The program's options. Without any it opens its window; --run runs one sequence
// without a window (--full makes it a full backup, --dry-run only lists what it would
// back up and what is left out); --trust-certificate SHA256
// trusts the SMTP server's certificate with that fingerprint, alone or before a
// --run. --list [PATTERN], --restore PATTERN --to DIR [--version DATE] and --verify N
// read the save notes in the mailbox without a window; --trust-certificate then
// trusts the IMAP server's certificate. --sign-in smtp|imap [--browser] signs in to
// the server's provider with OAuth2 on the terminal. --schedule WHEN turns the
// scheduled runs on or off. Parsed before any application object exists,
// because the run without a window must not need a display.
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
        ListSaved,
        RestoreSaved,
        VerifySaved,
        SignIn,
        Schedule,
        Refuse
    };

    // The exit status of a command line that is refused.
    static constexpr int RefusedExitStatus = 2;

    // The arguments as given, the program's name first.
    explicit KestrelCommandLine(const QStringList& arguments);

    Action action() const { return m_action; }
    bool fullBackUp() const;
    // With --run: no shut-down afterwards, whatever the settings say.
    bool noShutDown() const;
    // With --run: list what the sequence would do, and do nothing.
    bool dryRun() const;
    // The SHA-256 digest given with --trust-certificate; empty without it.
    QByteArray certificateToTrust() const { return m_certificateToTrust; }
    // The pattern of --list (empty: every file) or --restore.
    QString pattern() const { return m_pattern; }
    // --to DIR of --restore.
    QString restoreTarget() const;
    // With --restore: files already there are written over (--overwrite).
    bool overwrite() const;
    // The DATE of --restore's --version, "yyyy-MM-dd" or "yyyy-MM-dd hh:mm[:ss]";
    // empty for the latest version.
    QString restoreVersion() const;
    // N of --verify.
    int verifyCount() const { return m_verifyCount; }
    // "smtp" or "imap" of --sign-in.
    QString signInServer() const { return m_signInServer; }
    // With --sign-in: in the browser (--browser) instead of with a code.
    bool signInWithBrowser() const;
    // The schedule of --schedule; kind Off for "off".
    BackUpSchedule schedule() const { return m_schedule; }
    // Whether DATE of --version is of a form that the note dates are matched against.
    static bool isVersionDate(const QString& text);
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
    QCommandLineOption m_dryRun;
    QCommandLineOption m_noShutDown;
    QCommandLineOption m_trustCertificate;
    QCommandLineOption m_list;
    QCommandLineOption m_restore;
    QCommandLineOption m_to;
    QCommandLineOption m_overwrite;
    QCommandLineOption m_restoreVersion;
    QCommandLineOption m_verify;
    QCommandLineOption m_signIn;
    QCommandLineOption m_browser;
    QCommandLineOption m_scheduleOption;
    BackUpSchedule m_schedule;
    QString m_signInServer;
    QString m_pattern;
    int m_verifyCount = 0;
    QByteArray m_certificateToTrust;
    Action m_action = Action::OpenWindow;
    QString m_error;
};
