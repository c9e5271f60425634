#include "support/DovecotServer.h"

#include "support/LoopbackServerProbe.h"

#include "core/QuayRegistryObject.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString DovecotProgram = QStringLiteral("/usr/sbin/dovecot");
// Whom dovecot runs as when the test runs as root.
constexpr uid_t UnprivilegedUid = 65534;
constexpr gid_t UnprivilegedGid = 65534;

bool runningAsRoot()
{
    return geteuid() == 0;
}

} // namespace

bool DovecotServer::available()
{
    return QFile::exists(DovecotProgram);
}

DovecotServer::DovecotServer(const QString& folder, const Options& options)
    : m_folder(folder), m_options(options)
{
    if (!available()) {
        m_error = QStringLiteral("dovecot is not installed");
        return;
    }
    for (const char* sub : {"run", "state", "log", "mail"})
        QDir(m_folder).mkpath(QString::fromLatin1(sub));
    QDir().mkpath(maildir() + QStringLiteral("/new"));
    QDir().mkpath(maildir() + QStringLiteral("/cur"));
    QDir().mkpath(maildir() + QStringLiteral("/tmp"));
    m_port = freeLoopbackPort();
    m_tlsPort = options.certificateFile.isEmpty() ? 0 : freeLoopbackPort();
    if (options.forMailServer) {
        m_lmtpPort = freeLoopbackPort();
        m_authPort = freeLoopbackPort();
    }
    writeConfiguration();
    handOver(m_folder);

    const QString configuration = QDir(m_folder).filePath(QStringLiteral("dovecot.conf"));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(QDir(m_folder).filePath(QStringLiteral("log/output.txt")));
    if (runningAsRoot()) {
        m_process.start(QStringLiteral("setpriv"),
                        {QStringLiteral("--reuid=%1").arg(UnprivilegedUid),
                         QStringLiteral("--regid=%1").arg(UnprivilegedGid),
                         QStringLiteral("--clear-groups"), DovecotProgram, QStringLiteral("-F"),
                         QStringLiteral("-c"), configuration});
    } else {
        m_process.start(DovecotProgram,
                        {QStringLiteral("-F"), QStringLiteral("-c"), configuration});
    }
    if (!m_process.waitForStarted(30000)) {
        m_error = m_process.errorString();
        m_port = 0;
        return;
    }
    if (!waitForGreeting(m_port, "* OK",
                         [this] { return m_process.state() != QProcess::NotRunning; })) {
        m_error = QStringLiteral("dovecot did not start: ") + logText();
        m_port = 0;
    }
}

DovecotServer::~DovecotServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

ImapMailboxReader::Settings DovecotServer::readerSettings() const
{
    return {QStringLiteral("127.0.0.1"), m_port, m_options.user, m_options.password,
            QStringLiteral("INBOX")};
}

void DovecotServer::storeReaderSettings() const
{
    const TQuayRegistryObject store;
    store.WriteUserIMAPServer(QStringLiteral("127.0.0.1"));
    store.WriteUserIMAPPort(m_port);
    store.WriteUserIMAPUserName(m_options.user);
    store.WriteUserIMAPPassword(m_options.password);
}

QString DovecotServer::logText() const
{
    QFile log(QDir(m_folder).filePath(QStringLiteral("log/dovecot.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

QString DovecotServer::maildir() const
{
    return QDir(m_folder).filePath(QStringLiteral("mail/") + m_options.user);
}

void DovecotServer::writeConfiguration()
{
    const QString user =
        runningAsRoot() ? QStringLiteral("nobody") : QString::fromLocal8Bit(qgetenv("USER"));
    const uid_t uid = runningAsRoot() ? UnprivilegedUid : getuid();
    const gid_t gid = runningAsRoot() ? UnprivilegedGid : getgid();
    const QString folder = QDir(m_folder).absolutePath();

    QFile passwd(folder + QStringLiteral("/passwd"));
    passwd.open(QIODevice::WriteOnly);
    passwd.write(QStringLiteral("%1:{PLAIN}%2:%3:%4::%5/home/%1\n")
                     .arg(m_options.user, m_options.password)
                     .arg(uid)
                     .arg(gid)
                     .arg(folder)
                     .toUtf8());

    QString tls = QStringLiteral("ssl = no\n");
    QString tlsListener = QStringLiteral("  inet_listener imaps {\n    port = 0\n  }\n");
    if (!m_options.certificateFile.isEmpty()) {
        tls = QStringLiteral("ssl = yes\nssl_cert = <%1\nssl_key = <%2\n")
                  .arg(m_options.certificateFile, m_options.keyFile);
        tlsListener = QStringLiteral("  inet_listener imaps {\n    address = 127.0.0.1\n"
                                     "    port = %1\n    ssl = yes\n  }\n")
                          .arg(m_tlsPort);
    }
    // LMTP names the recipient by address ("ann@example.test"): the user is its local
    // part, here as at log-in.
    QString lmtpService;
    QString authListener;
    if (m_options.forMailServer) {
        lmtpService = QStringLiteral("service lmtp {\n  inet_listener lmtp {\n"
                                     "    address = 127.0.0.1\n    port = %1\n  }\n}\n")
                          .arg(m_lmtpPort);
        authListener = QStringLiteral("  inet_listener {\n    address = 127.0.0.1\n"
                                      "    port = %1\n  }\n")
                           .arg(m_authPort);
    }
    const bool oauth2 = !m_options.oauth2IntrospectionUrl.isEmpty();
    QString passdb = QStringLiteral("passdb {\n  driver = passwd-file\n"
                                    "  args = scheme=PLAIN username_format=%n %1/passwd\n}\n")
                         .arg(folder);
    if (oauth2) {
        passdb = QStringLiteral("passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n"
                                "  args = %1/dovecot-oauth2.conf.ext\n}\n")
                     .arg(folder);
        QFile introspection(folder + QStringLiteral("/dovecot-oauth2.conf.ext"));
        introspection.open(QIODevice::WriteOnly);
        introspection.write(QStringLiteral("introspection_mode = post\n"
                                           "introspection_url = %1\n"
                                           "username_attribute = username\n"
                                           "active_attribute = active\n"
                                           "active_value = true\n")
                                .arg(m_options.oauth2IntrospectionUrl)
                                .toUtf8());
    }
    // Without root, dovecot can neither chroot its login processes nor change users:
    // every service runs as the one user, nothing chrooted.
    const QString text =
        QStringLiteral("base_dir = %1/run\n"
                       "state_dir = %1/state\n"
                       "log_path = %1/log/dovecot.log\n"
                       "instance_name = kestrel-test-%2\n"
                       "protocols = %8\n"
                       "listen = 127.0.0.1\n"
                       "%3"
                       "disable_plaintext_auth = no\n"
                       "auth_mechanisms = plain login%12\n"
                       "auth_verbose = yes\n"
                       "default_internal_user = %4\n"
                       "default_internal_group = %5\n"
                       "default_login_user = %4\n"
                       "%11"
                       "userdb {\n  driver = passwd-file\n"
                       "  args = username_format=%n %1/passwd\n}\n"
                       "mail_location = maildir:%1/mail/%n\n"
                       "service imap-login {\n  chroot =\n"
                       "  inet_listener imap {\n    address = 127.0.0.1\n    port = %6\n  }\n"
                       "%7}\n"
                       "service anvil {\n  chroot =\n}\n"
                       "service auth {\n  user = $default_internal_user\n%10}\n"
                       "service auth-worker {\n  user = $default_internal_user\n}\n"
                       "%9")
            .arg(folder)
            .arg(m_port)
            .arg(tls)
            .arg(user)
            .arg(runningAsRoot() ? QStringLiteral("nogroup") : user)
            .arg(m_port)
            .arg(tlsListener)
            .arg(m_options.forMailServer ? QStringLiteral("imap lmtp") : QStringLiteral("imap"))
            .arg(lmtpService)
            .arg(authListener)
            .arg(passdb)
            .arg(oauth2 ? QStringLiteral(" xoauth2 oauthbearer") : QString());
    QFile configuration(folder + QStringLiteral("/dovecot.conf"));
    configuration.open(QIODevice::WriteOnly);
    configuration.write(text.toUtf8());
}

void DovecotServer::handOver(const QString& path) const
{
    if (!runningAsRoot())
        return;
    // The folder and everything below it belong to the user dovecot runs as, and the
    // folders above it must let that user through.
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    const auto give = [](const QString& entry) {
        [[maybe_unused]] const int result =
            chown(QFile::encodeName(entry).constData(), UnprivilegedUid, UnprivilegedGid);
    };
    give(path);
    while (it.hasNext())
        give(it.next());
    QDir parent(path);
    while (parent.cdUp() && parent.absolutePath() != QStringLiteral("/")) {
        struct stat info
        {};
        const QByteArray name = QFile::encodeName(parent.absolutePath());
        if (stat(name.constData(), &info) == 0 && (info.st_mode & S_IXOTH) == 0)
            chmod(name.constData(), info.st_mode | S_IXOTH);
    }
}

bool DovecotServer::deliver(const QByteArray& message)
{
    ++m_delivered;
    const QString name = QStringLiteral("%1.M%2P%3.kestrel-test")
                             .arg(1700000000 + m_delivered)
                             .arg(m_delivered)
                             .arg(QCoreApplication::applicationPid());
    const QString temporary = maildir() + QStringLiteral("/tmp/") + name;
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly) || file.write(message) != message.size())
        return false;
    file.close();
    handOver(temporary);
    return QFile::rename(temporary, maildir() + QStringLiteral("/new/") + name);
}

int DovecotServer::deliverFolder(const QString& sinkFolder)
{
    int count = 0;
    for (int number = 1;; ++number) {
        QFile message(QDir(sinkFolder).filePath(QStringLiteral("message-%1.eml").arg(number)));
        if (!message.open(QIODevice::ReadOnly))
            return count;
        if (!deliver(message.readAll()))
            return count;
        ++count;
    }
}

int DovecotServer::messageCount() const
{
    int count = 0;
    for (const char* sub : {"/new", "/cur"})
        count += static_cast<int>(
            QDir(maildir() + QString::fromLatin1(sub)).entryList(QDir::Files).size());
    return count;
}

void DovecotServer::recreateMailbox()
{
    // Dovecot draws a new mailbox's UIDVALIDITY from the clock in seconds: once the
    // clock has passed the old mailbox's value, the new one cannot be the same. A
    // mailbox never opened has no value yet.
    QFile uidList(maildir() + QStringLiteral("/dovecot-uidlist"));
    if (uidList.open(QIODevice::ReadOnly)) {
        // The header: "<version> V<uidvalidity> N<next uid> ...".
        qint64 oldValidity = 0;
        for (const QByteArray& field : uidList.readLine().trimmed().split(' '))
            if (field.startsWith('V'))
                oldValidity = field.mid(1).toLongLong();
        while (QDateTime::currentSecsSinceEpoch() <= oldValidity)
            QThread::msleep(20);
    }
    QDir(maildir()).removeRecursively();
    for (const char* sub : {"/new", "/cur", "/tmp"})
        QDir().mkpath(maildir() + QString::fromLatin1(sub));
    handOver(maildir());
}
