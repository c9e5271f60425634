#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A test server of tests/scripts run by the system's Python: it prints the port it
// listens on as its first line and ends when its standard input closes.
class ScriptProcess
{
public:
    // serverName names the server in errorText() ("the SMTP sink"). secrets: variables
    // added to the script's environment, so no password shows in its arguments.
    ScriptProcess(const QString& script, const QStringList& arguments, const QString& serverName,
                  const QList<QPair<QString, QString>>& secrets = {});
    ~ScriptProcess();
    ScriptProcess(const ScriptProcess&) = delete;
    ScriptProcess& operator=(const ScriptProcess&) = delete;

    // 0 when the server did not start; errorText() says why.
    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
