#include "support/ScriptProcess.h"

ScriptProcess::ScriptProcess(const QString& script, const QStringList& arguments,
                             const QString& serverName,
                             const QList<QPair<QString, QString>>& secrets)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!secrets.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : secrets)
            environment.insert(name, value);
        m_process.setProcessEnvironment(environment);
    }
    m_process.start(QStringLiteral("/usr/bin/python3"), QStringList{script} + arguments);
    if (!m_process.waitForStarted(30000)) {
        m_error = m_process.errorString();
        return;
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(30000)) {
            m_error = serverName + QStringLiteral(" printed no port");
            return;
        }
    }
    m_port = static_cast<quint16>(m_process.readLine().trimmed().toUInt());
}

ScriptProcess::~ScriptProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // The scripts end when their standard input closes.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}
