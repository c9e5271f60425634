#include "restore/MailboxSession.h"

#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "restore/MailboxConnection.h"
#include "restore/RestoreProgress.h"

// One open connection: the reader is made in a step and, whatever happens, logged
// out and destroyed in a step again.
class MailboxSession::Connection
{
public:
    Connection(const MailboxSourceFactory& factory, const StepRunner& runner) : m_runner(runner)
    {
        runStep(m_runner, [&] { m_source = factory ? factory() : mailboxSourceFromStore(); });
        if (!m_source.reader)
            throw KestrelError(QStringLiteral("No mailbox is set up for restores."));
        try {
            state = openMailbox(*m_source.reader, m_runner);
        } catch (...) {
            release();
            throw;
        }
    }
    ~Connection() { release(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    MailboxReader& reader() const { return *m_source.reader; }
    const QString& key() const { return m_source.key; }
    MailboxReader::MailboxState state;

private:
    void release() noexcept
    {
        if (!m_source.reader)
            return;
        try {
            runStep(m_runner, [this] {
                try {
                    m_source.reader->close();
                } catch (const KestrelError&) {
                    // The work is done or has failed already; a failed log-out adds
                    // nothing the user could act on.
                }
                m_source.reader.reset();
            });
        } catch (...) {
            // Destroying a reader does not fail; a runner that does must not end the
            // program from a destructor.
        }
    }

    const StepRunner& m_runner;
    MailboxSource m_source;
};

MailboxSession::MailboxSession(MailboxSourceFactory factory, StepRunner runner,
                               const QString& cacheFolder)
    : m_factory(std::move(factory)), m_runner(std::move(runner)), m_catalog(cacheFolder)
{}

QString MailboxSession::mailboxChangedText()
{
    return QStringLiteral("The mailbox has changed since it was listed, so its save notes have "
                          "been listed again. Please choose the files to restore again.");
}

void MailboxSession::refreshCatalog(MailboxReader& reader, const MailboxReader::MailboxState& state,
                                    const QString& key, RestoreProgress& progress,
                                    MailboxCatalog::Refresh* refresh)
{
    const MailboxCatalog::Refresh done = m_catalog.refresh(reader, state, key, progress, m_runner);
    m_listedValidity = state.uidValidity;
    ++m_generation;
    if (refresh)
        *refresh = done;
}

MailboxCatalog::Refresh MailboxSession::list(RestoreProgress& progress)
{
    const Connection connection(m_factory, m_runner);
    MailboxCatalog::Refresh refresh;
    refreshCatalog(connection.reader(), connection.state, connection.key(), progress, &refresh);
    return refresh;
}

MailboxRestore::Summary MailboxSession::restore(const QList<SavedVersion>& versions,
                                                const QString& target, RestoreProgress& progress)
{
    const Connection connection(m_factory, m_runner);
    if (m_listedValidity != connection.state.uidValidity) {
        refreshCatalog(connection.reader(), connection.state, connection.key(), progress);
        throw KestrelError(mailboxChangedText());
    }
    MailboxRestore restore(connection.reader(), target, TQuayRegistryObject().ReadUserZipPassword(),
                           m_runner);
    restore.setMailboxState(connection.state);
    return restore.restore(versions, progress);
}

MailboxLogRebuild::Result MailboxSession::rebuildLog(RestoreProgress& progress)
{
    const Connection connection(m_factory, m_runner);
    refreshCatalog(connection.reader(), connection.state, connection.key(), progress);
    return MailboxLogRebuild::rebuild(m_catalog, connection.reader(), progress, m_runner);
}
