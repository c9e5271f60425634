#pragma once

#include <QString>

// An access token from the user's own command, as other mail programs take one: the
// command (split as a desktop file's Exec line, run without a shell) prints the token
// on its first line. Its error output is kept for the message of a failure; what it
// prints is never shown, as it is a secret.
class TokenCommand
{
public:
    static constexpr int DefaultTimeoutMs = 30000;

    // The token. Throws KestrelError naming the server (protocol is "SMTP" or "IMAP")
    // when the command cannot start, runs out of time, exits with a fault or prints
    // no token.
    static QString run(const QString& commandLine, const QString& protocol,
                       int timeoutMs = DefaultTimeoutMs);
};
