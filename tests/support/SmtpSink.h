#pragma once

#include "support/ScriptProcess.h"

#include <QString>
#include <QStringList>

// Runs tests/scripts/smtp_sink.py: a real SMTP server (aiosmtpd) on 127.0.0.1 that
// stores every accepted message as message-<n>.eml in a folder.
class SmtpSink
{
public:
    struct Options
    {
        // A certificate and key turn on STARTTLS (and make it required).
        QString certificateFile;
        QString keyFile;
        // With a certificate: TLS from the first byte instead of STARTTLS.
        bool implicitTls = false;
        // A user name makes AUTH required.
        QString user;
        QString password;
        // An access token makes AUTH by OAUTHBEARER or XOAUTH2 required.
        QString bearerToken;
        // Or: any access token this OAuth2 introspection endpoint calls active.
        QString introspectUrl;
        qint64 sizeLimit = 64 * 1024 * 1024;
    };

    // scriptsFolder holds smtp_sink.py (tests get it as KESTREL_TEST_SCRIPTS).
    SmtpSink(const QString& scriptsFolder, const QString& folder, const Options& options);
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    // 0 when the server did not start; errorText() says why.
    quint16 port() const { return m_server.port(); }
    QString errorText() const { return m_server.errorText(); }
    QString messagePath(int number) const;
    QString envelopePath(int number) const;

    // Writes a self-signed certificate for 127.0.0.1 and localhost, with its key,
    // into the folder (openssl); false when openssl failed.
    static bool makeCertificate(const QString& folder, QString* certificateFile, QString* keyFile);
    // Runs a program and returns its standard output; empty on failure.
    static QByteArray run(const QString& program, const QStringList& arguments,
                          int timeoutMs = 120000);

private:
    QString m_folder;
    ScriptProcess m_server;
};
