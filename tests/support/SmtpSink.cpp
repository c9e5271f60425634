#include "support/SmtpSink.h"

#include <QDir>
#include <QProcess>

namespace {
QStringList sinkArguments(const QString& folder, const SmtpSink::Options& options)
{
    QStringList arguments{folder, QStringLiteral("--size-limit"),
                          QString::number(options.sizeLimit)};
    if (!options.certificateFile.isEmpty())
        arguments << QStringLiteral("--cert") << options.certificateFile << QStringLiteral("--key")
                  << options.keyFile;
    if (options.implicitTls)
        arguments << QStringLiteral("--implicit-tls");
    if (!options.user.isEmpty())
        arguments << QStringLiteral("--user") << options.user;
    if (!options.introspectUrl.isEmpty())
        arguments << QStringLiteral("--introspect-url") << options.introspectUrl;
    return arguments;
}
} // namespace

SmtpSink::SmtpSink(const QString& scriptsFolder, const QString& folder, const Options& options)
    : m_folder(folder), m_server(QDir(scriptsFolder).filePath(QStringLiteral("smtp_sink.py")),
                                 sinkArguments(folder, options), QStringLiteral("the SMTP sink"),
                                 {{QStringLiteral("SMTP_SINK_PASSWORD"), options.password},
                                  {QStringLiteral("SMTP_SINK_BEARER_TOKEN"), options.bearerToken}})
{}

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
