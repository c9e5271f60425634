#include "support/PrivateKeyring.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {
const QString Service = QStringLiteral("org.freedesktop.secrets");
const QString UnlockPassword = QStringLiteral("keyring of the test");
} // namespace

PrivateKeyring::PrivateKeyring()
{
    if (QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("secret-tool")).isEmpty()) {
        m_error = QStringLiteral("gnome-keyring-daemon or secret-tool is not installed");
        return;
    }
    // The bus starts the unlock prompter when asked; without a display it cannot show.
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    m_bus.emplace();
    if (m_bus->address().isEmpty()) {
        m_error = m_bus->errorText();
        return;
    }
    for (const char* folder : {"data", "runtime", "home"})
        QDir().mkpath(m_folder.filePath(QLatin1String(folder)));
    QFile::setPermissions(m_folder.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    m_daemon.setProcessEnvironment(environment());
    m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    // --unlock reads the password up to the end of its input, and makes the default
    // keyring with it.
    m_daemon.start(QStringLiteral("gnome-keyring-daemon"),
                   {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                    QStringLiteral("--components=secrets")});
    if (!m_daemon.waitForStarted(5000)) {
        m_error = QStringLiteral("gnome-keyring-daemon did not start: ") + m_daemon.errorString();
        return;
    }
    m_daemon.write(UnlockPassword.toUtf8());
    m_daemon.waitForBytesWritten(5000);
    m_daemon.closeWriteChannel();

    QDBusConnection bus = m_bus->connection();
    const QDeadlineTimer deadline(20000);
    while (true) {
        QDBusMessage alias = QDBusMessage::createMethodCall(
            Service, QStringLiteral("/org/freedesktop/secrets"),
            QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("ReadAlias"));
        alias << QStringLiteral("default");
        // Asked before the daemon holds its name, the bus would start one of its own.
        alias.setAutoStartService(false);
        const QDBusMessage reply = bus.call(alias, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
            qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path() !=
                QLatin1String("/"))
            break;
        if (deadline.hasExpired() || m_daemon.state() != QProcess::Running) {
            m_error = QStringLiteral("gnome-keyring-daemon made no unlocked default keyring "
                                     "(exit code %1)")
                          .arg(m_daemon.exitCode());
            return;
        }
        QThread::msleep(50);
    }
    m_address = m_bus->address();
}

PrivateKeyring::~PrivateKeyring()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        pause(false);
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }
}

QProcessEnvironment PrivateKeyring::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
    environment.insert(QStringLiteral("HOME"), m_folder.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_folder.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                       m_folder.filePath(QStringLiteral("runtime")));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

bool PrivateKeyring::lock()
{
    if (m_address.isEmpty())
        return false;
    QDBusConnection bus = m_bus->connection();
    QDBusMessage alias = QDBusMessage::createMethodCall(
        Service, QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("ReadAlias"));
    alias << QStringLiteral("default");
    const QDBusMessage path = bus.call(alias, QDBus::Block, 5000);
    if (path.type() != QDBusMessage::ReplyMessage || path.arguments().isEmpty())
        return false;
    QDBusMessage lock = QDBusMessage::createMethodCall(
        Service, QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
    lock << QVariant::fromValue(
        QList<QDBusObjectPath>{qvariant_cast<QDBusObjectPath>(path.arguments().constFirst())});
    return bus.call(lock, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

void PrivateKeyring::pause(bool paused)
{
    if (m_daemon.state() == QProcess::Running)
        ::kill(pid_t(m_daemon.processId()), paused ? SIGSTOP : SIGCONT);
}

QByteArray PrivateKeyring::secretTool(const QStringList& arguments, const QByteArray& input,
                                      bool* ok) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start(QStringLiteral("secret-tool"), arguments);
    tool.write(input);
    tool.closeWriteChannel();
    const bool finished = tool.waitForFinished(20000);
    if (ok)
        *ok = finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    return tool.readAllStandardOutput();
}

std::optional<QString> PrivateKeyring::lookup(const QString& label, const QString& key) const
{
    bool ok = false;
    const QByteArray secret = secretTool(
        {QStringLiteral("lookup"), QStringLiteral("user"), key, QStringLiteral("server"), label},
        {}, &ok);
    if (!ok)
        return std::nullopt;
    return QString::fromUtf8(secret);
}

QString PrivateKeyring::labelOf(const QString& label, const QString& key) const
{
    const QByteArray listed = secretTool(
        {QStringLiteral("search"), QStringLiteral("user"), key, QStringLiteral("server"), label});
    for (const QByteArray& line : listed.split('\n'))
        if (line.startsWith("label = "))
            return QString::fromUtf8(line.mid(8));
    return {};
}

bool PrivateKeyring::store(const QString& label, const QString& key, const QString& secret) const
{
    bool ok = false;
    secretTool({QStringLiteral("store"), QStringLiteral("--label=") + label, QStringLiteral("user"),
                key, QStringLiteral("server"), label, QStringLiteral("type"),
                QStringLiteral("plaintext")},
               secret.toUtf8(), &ok);
    return ok;
}
