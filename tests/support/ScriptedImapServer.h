#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QSslCertificate>
#include <QSslKey>
#include <QThread>
#include <QWaitCondition>

#include <memory>

class ScriptedImapWorker;

// An IMAP server on 127.0.0.1 that follows a script, on a thread of its own (the
// client under test blocks its thread while it waits).
//
// Without a script it greets, answers CAPABILITY with the capabilities set (plus
// STARTTLS while TLS is offered and not yet on), takes any log-in, answers EXAMINE
// with 3 messages, UIDVALIDITY 42 and UIDNEXT 9, an empty SEARCH, and LOGOUT with BYE;
// a fetch of a body section (also partial) set with setBody is answered from it.
// Scripted answers are queued by the start of the command (after its tag, without
// regard to case: "UID FETCH") and used once each, in order; "TAG" in an answer
// stands for the command's tag.
class ScriptedImapServer
{
public:
    // Reply: send the answer. Stall: send it and then nothing more. Drop: send it and
    // close the connection.
    enum class Action
    {
        Reply,
        Stall,
        Drop
    };

    ScriptedImapServer();
    ~ScriptedImapServer();
    ScriptedImapServer(const ScriptedImapServer&) = delete;
    ScriptedImapServer& operator=(const ScriptedImapServer&) = delete;

    quint16 port() const { return m_port; }

    void setGreeting(const QByteArray& raw, Action action = Action::Reply);
    // Blank-separated, e.g. "IMAP4rev1 AUTH=PLAIN SASL-IR".
    void setCapabilities(const QByteArray& capabilities);
    void script(const QByteArray& command, const QByteArray& raw, Action action = Action::Reply);
    // The bytes of a message's body section, for fetches of it.
    void setBody(quint32 uid, const QByteArray& section, const QByteArray& bytes);
    // Offers STARTTLS with this certificate, or with `implicit` TLS from the start.
    void enableTls(const QSslCertificate& certificate, const QSslKey& key, bool implicit = false);

    // The commands received, without tags, literals in place, in order; the
    // credentials sent after AUTHENTICATE's invitation count as a command.
    QList<QByteArray> commands() const;
    // Waits until the client has closed every connection; false after the time-out.
    bool waitForClose(int timeoutMs = 10000);

private:
    friend class ScriptedImapWorker;
    struct Answer
    {
        QByteArray command;
        QByteArray raw;
        Action action;
    };

    QThread m_thread;
    std::unique_ptr<ScriptedImapWorker> m_worker;
    quint16 m_port = 0;

    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    Answer m_greeting{{}, "* OK scripted IMAP ready\r\n", Action::Reply};
    QByteArray m_capabilities = "IMAP4rev1 AUTH=PLAIN SASL-IR LITERAL+";
    QList<Answer> m_script;
    QMap<QPair<quint32, QByteArray>, QByteArray> m_bodies;
    QSslCertificate m_certificate;
    QSslKey m_key;
    bool m_implicitTls = false;
    QList<QByteArray> m_commands;
    int m_connections = 0;
    int m_closed = 0;
};
