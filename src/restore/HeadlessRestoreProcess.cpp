#include "restore/HeadlessRestore.h"

#include "core/CertificateFingerprint.h"
#include "core/EditionProfile.h"
#include "core/KestrelCommandLine.h"
#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/Services.h"
#include "core/SettingsDatabase.h"
#include "restore/MailboxConnection.h"
#include "transport/ImapMailboxReader.h"
#include "transport/ServerCertificateTrust.h"

#include <QTextStream>

int HeadlessRestore::runCommand(QTextStream& out, const KestrelCommandLine& commandLine)
{
    // Only the save notes of this edition name the file they carry.
    if (!isEdition(Edition::KestrelSolo)) {
        Services::prompt().notify(
            QStringLiteral("%1 cannot restore from the mailbox: only KestrelSolo's save notes "
                           "name the file they carry, so there is nothing to list.")
                .arg(currentProfile().name),
            Prompt::Icon::Error);
        return HeadlessRestore::NotStarted;
    }
    const QString problem = SettingsDatabase::openProblem();
    if (!problem.isEmpty()) {
        Services::prompt().notify(problem, Prompt::Icon::Error);
        return HeadlessRestore::NotStarted;
    }
    ImapMailboxReader reader(ImapMailboxReader::settingsFromStore());
    const ImapMailboxReader::Settings& settings = reader.settings();
    if (settings.host.trimmed().isEmpty()) {
        Services::prompt().notify(QStringLiteral("No IMAP server is set for the mailbox."),
                                  Prompt::Icon::Error);
        return HeadlessRestore::NotStarted;
    }
    const QByteArray digest = commandLine.certificateToTrust();
    try {
        if (!digest.isEmpty()) {
            ServerCertificateTrust::trust(settings.host, settings.port, digest,
                                          TrustedServer::Imap);
            out << QStringLiteral("The certificate with SHA-256 fingerprint %1 is trusted for "
                                  "the IMAP server %2:%3.")
                       .arg(CertificateFingerprint::text(digest), settings.host)
                       .arg(settings.port)
                << Qt::endl;
        }
        const MailboxReader::MailboxState state = openMailbox(reader, {});
        HeadlessRestore run(out, reader, state, reader.mailboxKey());
        int status = HeadlessRestore::Failed;
        switch (commandLine.action()) {
        case KestrelCommandLine::Action::ListSaved:
            status = run.list(commandLine.pattern());
            break;
        case KestrelCommandLine::Action::RestoreSaved:
            status = run.restore(commandLine.pattern(), commandLine.restoreTarget(),
                                 commandLine.restoreVersion(), commandLine.overwrite());
            break;
        case KestrelCommandLine::Action::VerifySaved:
            status = run.verify(commandLine.verifyCount());
            break;
        default:
            break;
        }
        reader.close();
        return status;
    } catch (const std::exception& error) {
        const auto* kestrel = dynamic_cast<const KestrelError*>(&error);
        Services::prompt().notify(kestrel ? kestrel->message()
                                          : QString::fromLocal8Bit(error.what()),
                                  Prompt::Icon::Error);
        return HeadlessRestore::Failed;
    }
}
