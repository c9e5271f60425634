#include "restore/HeadlessRestore.h"

#include "core/Clock.h"
#include "core/KestrelError.h"
#include "core/Prompt.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "core/TerminalText.h"
#include "core/TransferEstimate.h"
#include "restore/MailboxCatalog.h"
#include "restore/MailboxRestore.h"
#include "restore/MailboxVerify.h"
#include "restore/RestoreProgress.h"
#include "restore/RestoreSelection.h"

#include <QTextStream>

namespace {

// Status lines as they come. The bytes of a transfer are not worth a line each: a
// restore's come as a line about the time left, a few a second at most.
class StreamProgress : public RestoreProgress
{
public:
    // The time left counts from here, so the time to reach the first file is part of it.
    StreamProgress(QTextStream& out, bool countsBytes) : m_out(out), m_countsBytes(countsBytes)
    {
        if (m_countsBytes)
            m_estimate.start(-1, Services::clock().tickMs());
    }
    void status(const QString& text) override { m_out << terminalText(text) << Qt::endl; }
    void progress(qint64 done, qint64 total) override
    {
        if (m_countsBytes && total > 0 &&
            m_estimate.report(done, total, Services::clock().tickMs()))
            m_out << terminalText(m_estimate.text()) << Qt::endl;
    }

private:
    QTextStream& m_out;
    const bool m_countsBytes;
    TransferEstimate m_estimate{QStringLiteral("restored")};
};

QString partsText(const SavedVersion& version)
{
    if (version.complete())
        return version.partCount == 1 ? QStringLiteral("1 part")
                                      : QStringLiteral("%1 parts").arg(version.partCount);
    return QStringLiteral("%1 of %2 parts").arg(version.parts.size()).arg(version.partCount);
}

} // namespace

HeadlessRestore::HeadlessRestore(QTextStream& out, MailboxReader& reader,
                                 MailboxReader::MailboxState state, QString mailboxKey,
                                 QString cacheFolder)
    : m_out(out), m_reader(reader), m_state(state), m_mailboxKey(std::move(mailboxKey)),
      m_cacheFolder(std::move(cacheFolder))
{}

bool HeadlessRestore::refreshCatalog(MailboxCatalog& catalog)
{
    // Listing lines go to the stream only for --list, so a script reads the versions alone.
    class Quiet : public RestoreProgress
    {
    public:
        void status(const QString&) override {}
        void progress(qint64, qint64) override {}
    } quiet;
    try {
        const MailboxCatalog::Refresh refresh =
            catalog.refresh(m_reader, m_state, m_mailboxKey, quiet);
        m_lastRefresh = QStringLiteral("%1 notes read (%2 from the cache) in %3 ms")
                            .arg(refresh.notesRead + refresh.notesFromCache)
                            .arg(refresh.notesFromCache)
                            .arg(refresh.elapsedMs);
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        return false;
    }
    return true;
}

int HeadlessRestore::list(const QString& pattern)
{
    MailboxCatalog catalog(m_cacheFolder);
    if (!refreshCatalog(catalog))
        return Failed;
    for (const SavedFile& file : catalog.matching(pattern)) {
        for (const SavedVersion& version : file.versions) {
            m_out << version.noteDate.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                  << QStringLiteral("  %1  ").arg(version.archiveSize(), 12)
                  << partsText(version).leftJustified(14) << terminalLine(file.path) << Qt::endl;
            // Below its line, so that each version's line still ends with the path.
            if (!version.complete())
                m_out << QStringLiteral("    ") << terminalLine(version.fault()) << Qt::endl;
        }
    }
    m_out << m_lastRefresh << Qt::endl;
    return Succeeded;
}

bool HeadlessRestore::isVersionOf(const QString& versionDate, const QDateTime& noteDate)
{
    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss").left(versionDate.size());
    return !versionDate.isEmpty() && noteDate.isValid() &&
           noteDate.toLocalTime().toString(format) == versionDate;
}

int HeadlessRestore::restore(const QString& pattern, const QString& target,
                             const QString& versionDate, bool writeOver)
{
    MailboxCatalog catalog(m_cacheFolder);
    if (!refreshCatalog(catalog))
        return Failed;
    const QList<SavedFile> files = catalog.matching(pattern);
    if (files.isEmpty()) {
        Services::prompt().notify(QStringLiteral("No saved file matches %1.").arg(pattern),
                                  Prompt::Icon::Error);
        return Failed;
    }
    // Of each file the newest version saved at the date (any date without one), or an
    // older whole one with a notice when that is not whole. A file with no version at
    // the date is left out.
    QList<SavedVersion> chosen;
    QStringList notices;
    for (const SavedFile& file : files) {
        QList<const SavedVersion*> candidates;
        for (const SavedVersion& version : file.versions) {
            if (versionDate.isEmpty() || isVersionOf(versionDate, version.noteDate))
                candidates.append(&version);
        }
        const LatestChoice latest = latestToRestore(file.path, candidates);
        if (latest.version == nullptr)
            continue;
        chosen.append(*latest.version);
        if (!latest.notice.isEmpty())
            notices.append(latest.notice);
    }
    if (chosen.isEmpty()) {
        Services::prompt().notify(
            QStringLiteral("No file matching %1 was saved at %2.").arg(pattern, versionDate),
            Prompt::Icon::Error);
        return Failed;
    }
    StreamProgress progress(m_out, true);
    MailboxRestore restore(m_reader, target, TQuayRegistryObject().ReadUserZipPassword());
    restore.setWriteOver(writeOver);
    restore.setMailboxState(m_state);
    MailboxRestore::Summary summary = restore.restore(chosen, progress);
    summary.notices = notices;
    m_out << terminalText(summary.text()) << Qt::endl;
    return summary.failed > 0 || summary.cancelled || !notices.isEmpty() ? Failed : Succeeded;
}

int HeadlessRestore::verify(int count)
{
    MailboxCatalog catalog(m_cacheFolder);
    if (!refreshCatalog(catalog))
        return Failed;
    StreamProgress progress(m_out, false);
    try {
        const MailboxVerify::Result result = MailboxVerify::verify(
            catalog, m_reader, TQuayRegistryObject().ReadUserZipPassword(), count, progress);
        m_out << terminalText(result.text()) << Qt::endl;
        return result.faults.isEmpty() ? Succeeded : Failed;
    } catch (const KestrelError& error) {
        Services::prompt().notify(error.message(), Prompt::Icon::Error);
        return Failed;
    }
}
