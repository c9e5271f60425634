#include "support/PostfixServer.h"

#include "support/LoopbackServerProbe.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString PostfixProgram = QStringLiteral("/usr/sbin/postfix");
// The service table as Debian ships it: every service Postfix needs, to be adapted.
const QString ServiceTable = QStringLiteral("/usr/share/postfix/master.cf.dist");

// The Debian table with no daemon chrooted (the test's folder holds none of the files
// a chroot needs) and without the public SMTP service on port 25.
QString serviceTable(quint16 submissionPort)
{
    QFile proto(ServiceTable);
    if (!proto.open(QIODevice::ReadOnly))
        return QString();
    static const QRegularExpression fields(QStringLiteral("\\s+"));
    QStringList lines;
    for (const QString& line : QString::fromUtf8(proto.readAll()).split(QLatin1Char('\n'))) {
        QStringList parts = line.split(fields, Qt::SkipEmptyParts);
        if (line.startsWith(QLatin1Char('#')) || line.isEmpty() || line.front().isSpace() ||
            parts.size() < 8) {
            lines.append(line.startsWith(QStringLiteral("#postlog")) ? line.mid(1) : line);
            continue;
        }
        if (parts.at(0) == QLatin1String("smtp") && parts.at(1) == QLatin1String("inet"))
            continue;
        parts[4] = QStringLiteral("n");
        lines.append(parts.join(QLatin1Char(' ')));
    }
    lines.append(QStringLiteral("127.0.0.1:%1 inet n - n - - smtpd\n"
                                "  -o smtpd_tls_security_level=encrypt\n"
                                "  -o smtpd_sasl_auth_enable=yes")
                     .arg(submissionPort));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void giveTo(const QString& path, uid_t uid, gid_t gid)
{
    [[maybe_unused]] const int result = chown(QFile::encodeName(path).constData(), uid, gid);
}

} // namespace

bool PostfixServer::available()
{
    return geteuid() == 0 && QFile::exists(PostfixProgram) && QFile::exists(ServiceTable) &&
           getpwnam("postfix") != nullptr && getgrnam("postdrop") != nullptr;
}

PostfixServer::PostfixServer(const QString& folder, const Options& options)
    : m_folder(QDir(folder).absolutePath()), m_options(options)
{
    if (!available()) {
        m_error = QStringLiteral("Postfix is not installed, or the test does not run as root");
        return;
    }
    for (const char* sub : {"conf", "queue", "data", "log"})
        QDir(m_folder).mkpath(QString::fromLatin1(sub));
    // The daemons run as "postfix": the folders above the queue must let it through,
    // and the data folder is its own.
    const passwd* postfix = getpwnam("postfix");
    giveTo(m_folder + QStringLiteral("/data"), postfix->pw_uid, postfix->pw_gid);
    QDir parent(m_folder);
    do {
        struct stat info
        {};
        const QByteArray name = QFile::encodeName(parent.absolutePath());
        if (stat(name.constData(), &info) == 0 && (info.st_mode & S_IXOTH) == 0)
            chmod(name.constData(), info.st_mode | S_IXOTH);
    } while (parent.cdUp() && parent.absolutePath() != QStringLiteral("/"));

    m_port = freeLoopbackPort();
    writeConfiguration();
    QString output;
    if (!control(QStringLiteral("start"), &output)) {
        m_error = QStringLiteral("Postfix did not start: ") + output + logText();
        m_port = 0;
        return;
    }
    m_started = true;
    if (!waitForGreeting(m_port, "220")) {
        m_error = QStringLiteral("Postfix does not listen: ") + logText();
        m_port = 0;
    }
}

PostfixServer::~PostfixServer()
{
    if (!m_started)
        return;
    // "stop" waits for the master to end; "abort" is the last word should it not.
    if (!control(QStringLiteral("stop")))
        control(QStringLiteral("abort"));
}

bool PostfixServer::control(const QString& command, QString* output) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(PostfixProgram,
                  {QStringLiteral("-c"), m_folder + QStringLiteral("/conf"), command});
    const bool finished = process.waitForFinished(60000);
    if (output != nullptr)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString PostfixServer::logText() const
{
    QFile log(m_folder + QStringLiteral("/log/postfix.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

bool PostfixServer::queueEmpty() const
{
    for (const char* queue : {"incoming", "active", "deferred", "maildrop"}) {
        QDirIterator it(m_folder + QStringLiteral("/queue/") + QString::fromLatin1(queue),
                        QDir::Files, QDirIterator::Subdirectories);
        if (it.hasNext())
            return false;
    }
    return true;
}

void PostfixServer::writeConfiguration()
{
    const QString main =
        QStringLiteral("compatibility_level = 3.6\n"
                       "queue_directory = %1/queue\n"
                       "data_directory = %1/data\n"
                       "maillog_file = %1/log/postfix.log\n"
                       "maillog_file_prefixes = %1/log\n"
                       "mail_owner = postfix\n"
                       "setgid_group = postdrop\n"
                       "myhostname = mail.%2\n"
                       "mydomain = %2\n"
                       "inet_interfaces = 127.0.0.1\n"
                       "inet_protocols = ipv4\n"
                       "mydestination =\n"
                       "mynetworks = 127.0.0.0/8\n"
                       "alias_maps =\n"
                       "alias_database =\n"
                       "local_transport = error:no local delivery in this test\n"
                       "default_transport = error:no mail leaves this test\n"
                       "relay_transport = error:no mail leaves this test\n"
                       "virtual_mailbox_domains = %2\n"
                       "virtual_transport = lmtp:inet:127.0.0.1:%3\n"
                       "message_size_limit = %4\n"
                       "smtpd_tls_cert_file = %5\n"
                       "smtpd_tls_key_file = %6\n"
                       "smtpd_tls_auth_only = yes\n"
                       "smtpd_sasl_type = dovecot\n"
                       "smtpd_sasl_path = inet:127.0.0.1:%7\n"
                       "smtpd_relay_restrictions = permit_sasl_authenticated, reject\n"
                       "smtpd_recipient_restrictions = permit_sasl_authenticated, reject\n"
                       "biff = no\n")
            .arg(m_folder, m_options.domain)
            .arg(m_options.lmtpPort)
            .arg(m_options.sizeLimit)
            .arg(m_options.certificateFile, m_options.keyFile)
            .arg(m_options.authPort);
    QFile mainFile(m_folder + QStringLiteral("/conf/main.cf"));
    if (mainFile.open(QIODevice::WriteOnly))
        mainFile.write(main.toUtf8());
    QFile master(m_folder + QStringLiteral("/conf/master.cf"));
    if (master.open(QIODevice::WriteOnly))
        master.write(serviceTable(m_port).toUtf8());
}
