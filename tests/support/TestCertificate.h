#pragma once

#include <QString>

// Certificates of a test's own making, signed by themselves: openssl run as a process
// into the test's temporary folder.
class TestCertificate
{
public:
    enum class Kind
    {
        // For 127.0.0.1 and localhost, valid for two days from now.
        ForLoopback,
        // For 127.0.0.1 and localhost, expired in 2020.
        Expired,
        // For other.example only.
        ForOtherHost
    };

    // Writes <name>-cert.pem and <name>-key.pem into folder; false when openssl failed.
    static bool make(const QString& folder, const QString& name, Kind kind,
                     QString* certificateFile, QString* keyFile);
};
