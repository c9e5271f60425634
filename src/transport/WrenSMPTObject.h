#pragma once

#include "transport/IdSMTP.h"

class TIdMessage;
class TZipMaster;

// The sending object: every e-mail of the program leaves through one. It reads
// the SMTP settings when it is made and holds one SMTP session.
class TWrenSMPTObject
{
public:
    // Configures the session from the settings store. When the server is missing it
    // says "Not all Internet fields are complete." and leaves the host empty, so a
    // later Connect fails. An empty user name or password is left to the session: it
    // logs in only when it has both.
    TWrenSMPTObject();

    bool Connected();
    // Throws KestrelError; UntrustedCertificateError when the server's certificate is
    // one the system does not trust and the user has not trusted for this server.
    void Connect();
    void Disconnect();
    // Throws KestrelError.
    void Send(TIdMessage& message);
    // Attaches the zip component's archive, sends the message and deletes the
    // archive. On failure the archive stays where it is and the error is passed on;
    // either way the message holds no part afterwards.
    void SendZip(TIdMessage& message, const TZipMaster& zip);
    // The same for an archive named directly; a relative name is taken from the zip
    // folder (setting ZipDirectory).
    void SendZip(TIdMessage& message, const QString& zipFileName);

    TIdSMTP& session() { return m_smtp; }

    static constexpr int DefaultPort = 25;

private:
    TIdSMTP m_smtp;
};
