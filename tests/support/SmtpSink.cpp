#include "support/SmtpSink.h"

#include <QDir>

SmtpSink::SmtpSink(const QString& scriptsFolder, const QString& folder, const Options& options)
    : m_folder(folder)
{
    QStringList arguments{QDir(scriptsFolder).filePath(QStringLiteral("smtp_sink.py")), folder,
                          QStringLiteral("--size-limit"), QString::number(options.sizeLimit)};
    if (!options.certificateFile.isEmpty())
        arguments << QStringLiteral("--cert") << options.certificateFile << QStringLiteral("--key")
                  << options.keyFile;
    if (options.implicitTls)
        arguments << QStringLiteral("--implicit-tls");
    if (!options.user.isEmpty())
        arguments << QStringLiteral("--user") << options.user << QStringLiteral("--password")
                  << options.password;
    if (!options.bearerToken.isEmpty())
        arguments << QStringLiteral("--bearer-token") << options.bearerToken;
    if (!options.introspectUrl.isEmpty())
        arguments << QStringLiteral("--introspect-url") << options.introspectUrl;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!m_process.waitForStarted(30000)) {
        m_error = m_process.errorString();
        return;
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(30000)) {
            m_error = QStringLiteral("the SMTP sink printed no port");
            return;
        }
    }
    m_port = static_cast<quint16>(m_process.readLine().trimmed().toUInt());
}

SmtpSink::~SmtpSink()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

QString SmtpSink::messagePath(int number) const
{
    return QDir(m_folder).filePath(QStringLiteral("message-%1.eml").arg(number));
}

QString SmtpSink::envelopePath(int number) const
{
    return QDir(m_folder).filePath(QStringLiteral("message-%1.json").arg(number));
}

QByteArray SmtpSink::run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

bool SmtpSink::makeCertificate(const QString& folder, QString* certificateFile, QString* keyFile)
{
    *certificateFile = QDir(folder).filePath(QStringLiteral("sink-cert.pem"));
    *keyFile = QDir(folder).filePath(QStringLiteral("sink-key.pem"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"),
                   QStringLiteral("-keyout"), *keyFile, QStringLiteral("-out"), *certificateFile});
    return openssl.waitForFinished(60000) && openssl.exitStatus() == QProcess::NormalExit &&
           openssl.exitCode() == 0;
}
