#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QSslCertificate>
#include <QSslKey>
#include <QThread>
#include <QWaitCondition>

#include <functional>
#include <memory>

class ScriptedSmtpWorker;

// An SMTP server on 127.0.0.1 that follows a script, for testing the client's
// handling of every kind of answer. It runs on a thread of its own, because the
// client under test blocks its thread while it waits for replies.
//
// Without a script it greets with 220, answers EHLO with a two-line 250, Data with
// 354, Quit with 221 and everything else with 250. Scripted answers are queued per
// command word and used once each, in order.
class ScriptedSmtpServer
{
public:
    // Reply: send the answer. Stall: send nothing. Drop: send the answer (which may
    // be empty) and close the connection.
    enum class Action
    {
        Reply,
        Stall,
        Drop
    };

    // Listens on loopback unless told another address of this computer.
    explicit ScriptedSmtpServer(
        const QHostAddress& address = QHostAddress(QHostAddress::LocalHost));
    ~ScriptedSmtpServer();
    ScriptedSmtpServer(const ScriptedSmtpServer&) = delete;
    ScriptedSmtpServer& operator=(const ScriptedSmtpServer&) = delete;

    quint16 port() const { return m_port; }

    // The greeting; its lines are sent as given (add "\r\n" yourself).
    void setGreeting(const QByteArray& raw, Action action = Action::Reply);
    // The next answer to a command whose first word is `word` (case ignored; "." is
    // the end of a message). `raw` is sent as given.
    void script(const QByteArray& word, const QByteArray& raw, Action action = Action::Reply);
    // Offers STARTTLS with this certificate; with `implicit` the connection is
    // encrypted from the first byte instead. The answer to STARTTLS can be scripted
    // like any other (for example with extra lines sent before the handshake).
    void enableTls(const QSslCertificate& certificate, const QSslKey& key, bool implicit = false);
    // Announces SIZE limit in the EHLO reply and refuses, with 552 5.3.4 at the end of
    // the message, every message whose text plus addedBytes (the headers a provider
    // adds on the way) passes it.
    void setSizeLimit(qint64 limit, qint64 addedBytes = 0);
    // Closes the connection once this many bytes of message text have arrived.
    void dropAfterDataBytes(qint64 bytes);
    // Runs hook on the server's thread once, when the next message has arrived and
    // before it is answered: while the client waits for the server's word.
    void onNextMessage(std::function<void()> hook);

    // The command lines received, without CR LF, in order, over all connections.
    QList<QByteArray> commands() const;
    // The message texts received between "Data" and ".", as sent (dot-stuffed).
    QList<QByteArray> messages() const;
    // Waits until a command starting with `word` has arrived (or the client closed
    // the connection, when `word` is empty); false after the time-out.
    bool waitFor(const QByteArray& word, int timeoutMs = 10000);

private:
    friend class ScriptedSmtpWorker;
    struct Answer
    {
        QByteArray word;
        QByteArray raw;
        Action action;
    };

    QThread m_thread;
    std::unique_ptr<ScriptedSmtpWorker> m_worker;
    quint16 m_port = 0;

    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    Answer m_greeting{{}, "220 scripted.test ESMTP ready\r\n", Action::Reply};
    QList<Answer> m_script;
    qint64 m_dropAfterDataBytes = -1;
    qint64 m_sizeLimit = 0;
    qint64 m_addedBytes = 0;
    QSslCertificate m_certificate;
    QSslKey m_key;
    bool m_implicitTls = false;
    QList<QByteArray> m_commands;
    QList<QByteArray> m_messages;
    std::function<void()> m_onMessage;
    qint64 m_dataBytes = 0;
    int m_connections = 0;
    int m_closed = 0;
};
