#pragma once

#include "transport/ArchivePartPlan.h"
#include "transport/IdSMTP.h"

#include <functional>
#include <optional>

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
    // logs in only when it has both. The notice goes to the prompt.
    TWrenSMPTObject();
    // As above, the notice handed to notices instead: a sending object made on a
    // worker thread leaves showing it to the thread that owns the prompt.
    using NoticeSink = std::function<void(const QString& notice)>;
    explicit TWrenSMPTObject(const NoticeSink& notices);

    bool Connected();
    // Throws KestrelError; UntrustedCertificateError when the server's certificate is
    // one the system does not trust and the user has not trusted for this server.
    void Connect();
    void Disconnect();
    // Sends a message without parts (a request) under a Message-ID of its own.
    // Throws KestrelError.
    void Send(TIdMessage& message);
    // Attaches the zip component's archive, sends the message (a set of one, with a
    // new set identifier) and deletes the archive. On failure the archive stays where it is and the
    // error is passed on; either way the message holds no part afterwards.
    void SendZip(TIdMessage& message, const TZipMaster& zip);
    // The same for an archive named directly; a relative name is taken from the zip
    // folder (setting ZipDirectory).
    void SendZip(TIdMessage& message, const QString& zipFileName);

    // The bytes of the message SendZip would send for the archive, counted as a SIZE
    // limit counts them (RFC 1870 section 3: CR LF included, no dot-stuffing). Throws
    // KestrelError when the archive cannot be read.
    qint64 ZipMessageSize(TIdMessage& message, const QString& zipFileName);
    // How the archive is cut so that the message of each part, with the message's
    // subject followed by " (part k of n)", takes at most limit bytes; none when no
    // part fits. Throws KestrelError when the archive cannot be read.
    std::optional<ArchivePartPlan> PlanZipParts(TIdMessage& message, const QString& zipFileName,
                                                qint64 limit);
    // Sends one part of the plan, attached under the part's name, as a member of the
    // set setId (MessageIdentity::newSetId(), one for all parts of one sending). The
    // archive stays; the message holds no part and its own subject afterwards.
    void SendZipPart(TIdMessage& message, const QString& zipFileName, const ArchivePartPlan& plan,
                     int part, const QString& setId);
    // Deletes the archive once its last part was accepted. Throws KestrelError.
    void DeleteZip(const QString& zipFileName);

    TIdSMTP& session() { return m_smtp; }

    static constexpr int DefaultPort = 25;

private:
    // The archive's path: a relative name is taken from the zip folder.
    static QString archivePath(const QString& zipFileName);
    // The size of the message as Send would write it, at the widest Date header.
    qint64 messageSize(TIdMessage& message) const;

    TIdSMTP m_smtp;
};
