#pragma once

#include <QString>

#include <functional>

class UntrustedCertificateError;

// Connecting to the SMTP server when it may show a certificate the system does not
// trust: the sequence and both requests connect through here. The session may run
// on another thread; the question is asked on the calling one (the window's).
class CertificateTrustQuestion
{
public:
    // Runs connectStep; when it fails with an UntrustedCertificateError, asks whether
    // to trust the certificate for that server. Yes stores it and runs connectStep
    // again; No passes the failure on. Where nobody answers questions (the run
    // without a window) nothing is asked and the failure says how to trust the
    // certificate. Throws KestrelError.
    static void connect(const std::function<void()>& connectStep);

    static QString questionText(const UntrustedCertificateError& error);
    static QString unattendedText(const UntrustedCertificateError& error);
};
