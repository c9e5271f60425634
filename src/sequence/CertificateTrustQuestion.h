#pragma once

#include "transport/ServerCertificateTrust.h"

#include <QString>

#include <functional>

class UntrustedCertificateError;

// Connecting to the SMTP server (or the mailbox's IMAP server) when it may show a
// certificate the system does not trust: the sequence, both requests and the
// restores connect through here. The session may run
// on another thread; the question is asked on the calling one (the window's).
class CertificateTrustQuestion
{
public:
    // Runs connectStep; when it fails with an UntrustedCertificateError, asks whether
    // to trust the certificate for that server. Yes stores it and runs connectStep
    // again; No passes the failure on. Where nobody answers questions (the run
    // without a window) nothing is asked and the failure says how to trust the
    // certificate. Throws KestrelError.
    // server says which trusted certificate a Yes stores and how the texts name it.
    static void connect(const std::function<void()>& connectStep,
                        TrustedServer server = TrustedServer::Smtp);

    static QString questionText(const UntrustedCertificateError& error,
                                TrustedServer server = TrustedServer::Smtp);
    static QString unattendedText(const UntrustedCertificateError& error,
                                  TrustedServer server = TrustedServer::Smtp);
};
