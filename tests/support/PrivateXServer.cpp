#include "support/PrivateXServer.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

PrivateXServer::PrivateXServer()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty()) {
        m_error = QStringLiteral("Xvfb is not installed (Debian package xvfb)");
        return;
    }
    // -displayfd: Xvfb takes the first free display number and writes it to its
    // standard output once it accepts connections, which is the moment to go on.
    m_server.setProgram(program);
    m_server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                           QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                           QStringLiteral("-screen"), QStringLiteral("0"),
                           QStringLiteral("1024x768x24")});
    // Ends with the test even when the test is killed and never reaches the destructor.
    m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_server.start();
    if (!m_server.waitForStarted(5000)) {
        m_error = QStringLiteral("Xvfb did not start: ") + m_server.errorString();
        return;
    }
    const QDeadlineTimer deadline(15000);
    QByteArray printed;
    while (!printed.contains('\n') && !deadline.hasExpired() &&
           m_server.state() == QProcess::Running) {
        m_server.waitForReadyRead(200);
        printed += m_server.readAllStandardOutput();
    }
    const QByteArray number = printed.trimmed();
    if (number.isEmpty()) {
        m_error = QStringLiteral("Xvfb reported no display: ") +
                  QString::fromLocal8Bit(m_server.readAllStandardError()).trimmed();
        return;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(number);
}

PrivateXServer::~PrivateXServer()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(3000)) {
        m_server.kill();
        m_server.waitForFinished(3000);
    }
}

void PrivateXServer::exportAsDisplay() const
{
    qputenv("DISPLAY", m_display.toUtf8());
}
