#pragma once

#include <QString>

// A real mail transfer agent for tests: Debian's Postfix, started by the test in a
// folder of its own (configuration, queue, data and log below it) with
// `postfix -c <folder>/conf start`, listening on 127.0.0.1 only. It offers one
// submission service: STARTTLS required, log-in through dovecot's authentication
// service, a message size limit, and every message for the test domain delivered over
// LMTP into dovecot, in parallel as Postfix delivers by default. Postfix starts only
// as root; without root, or without Postfix installed, port() stays 0.
class PostfixServer
{
public:
    struct Options
    {
        // Dovecot's LMTP and authentication listeners on 127.0.0.1.
        quint16 lmtpPort = 0;
        quint16 authPort = 0;
        QString certificateFile;
        QString keyFile;
        // Postfix's message_size_limit; it counts its own headers too.
        qint64 sizeLimit = 1000000;
        // The domain whose mail goes to dovecot.
        QString domain = QStringLiteral("example.test");
    };

    PostfixServer(const QString& folder, const Options& options);
    ~PostfixServer();
    PostfixServer(const PostfixServer&) = delete;
    PostfixServer& operator=(const PostfixServer&) = delete;

    // Whether Postfix is installed and can be started here (as root).
    static bool available();

    // The submission port; 0 when Postfix did not start (errorText() says why).
    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }
    // What Postfix wrote to its log, for a test that failed.
    QString logText() const;
    // Whether the queue is empty: every message delivered or bounced.
    bool queueEmpty() const;

private:
    bool control(const QString& command, QString* output = nullptr) const;
    void writeConfiguration();

    QString m_folder;
    Options m_options;
    quint16 m_port = 0;
    bool m_started = false;
    QString m_error;
};
