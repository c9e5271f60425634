#include "support/PrivateDBus.h"

#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {
int connectionCounter = 0;

// A daemon or mock ends with the test even when the test is killed and never
// reaches the destructor.
void endWithTheTest(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void stopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}
} // namespace

PrivateDBus::PrivateDBus()
{
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    const QString socket = m_folder.filePath(QStringLiteral("bus"));
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1"),
                           QStringLiteral("--address=unix:path=") + socket});
    endWithTheTest(m_daemon);
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000)) {
        m_error = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
        return;
    }
    const QDeadlineTimer deadline(10000);
    QByteArray printed;
    while (!printed.contains('\n') && !deadline.hasExpired() &&
           m_daemon.state() == QProcess::Running) {
        m_daemon.waitForReadyRead(200);
        printed += m_daemon.readAllStandardOutput();
    }
    m_address = QString::fromUtf8(printed).trimmed();
    if (m_address.isEmpty())
        m_error = QStringLiteral("dbus-daemon printed no address: ") +
                  QString::fromLocal8Bit(m_daemon.readAllStandardError());
}

PrivateDBus::~PrivateDBus()
{
    for (Mock& mock : m_mocks)
        if (mock.process)
            stopProcess(*mock.process);
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    stopProcess(m_daemon);
}

QDBusConnection PrivateDBus::connection()
{
    if (m_connectionName.isEmpty())
        m_connectionName = QStringLiteral("kestrel-test-bus-%1").arg(++connectionCounter);
    return QDBusConnection::connectToBus(m_address, m_connectionName);
}

bool PrivateDBus::isOwned(const QString& busName)
{
    QDBusConnection bus = connection();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(busName).value();
}

int PrivateDBus::startMock(const QString& busName, const QStringList& arguments)
{
    if (m_address.isEmpty())
        return -1;
    Mock mock;
    mock.logFile = m_folder.filePath(QStringLiteral("mock-%1.log").arg(m_mocks.size()));
    mock.process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
    mock.process->setProcessEnvironment(environment);
    mock.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    endWithTheTest(*mock.process);
    // Debian's dbusmock is a module of the system's Python, whatever comes first on PATH.
    mock.process->start(QStringLiteral("/usr/bin/python3"),
                        QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock"),
                                    QStringLiteral("--logfile"), mock.logFile} +
                            arguments);
    if (!mock.process->waitForStarted(5000)) {
        m_error = QStringLiteral("python3 -m dbusmock did not start");
        return -1;
    }
    const QDeadlineTimer deadline(20000);
    while (!isOwned(busName)) {
        if (deadline.hasExpired() || mock.process->state() != QProcess::Running) {
            m_error = QStringLiteral("the mock of %1 did not come up").arg(busName);
            stopProcess(*mock.process);
            return -1;
        }
        QThread::msleep(50);
    }
    m_mocks.push_back(std::move(mock));
    return int(m_mocks.size()) - 1;
}

QStringList PrivateDBus::mockCalls(int mock) const
{
    QStringList calls;
    if (mock < 0 || mock >= int(m_mocks.size()))
        return calls;
    QFile log(m_mocks[mock].logFile);
    if (!log.open(QIODevice::ReadOnly))
        return calls;
    for (const QByteArray& line : log.readAll().split('\n')) {
        // Each line is "<seconds since the epoch> <method> <arguments>".
        const int space = line.indexOf(' ');
        if (space > 0)
            calls << QString::fromUtf8(line.mid(space + 1));
    }
    return calls;
}

void PrivateDBus::stopMock(int mock)
{
    if (mock >= 0 && mock < int(m_mocks.size()) && m_mocks[mock].process)
        stopProcess(*m_mocks[mock].process);
}

void PrivateDBus::exportAsSessionBus() const
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
}

void PrivateDBus::exportAsSystemBus() const
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
}
