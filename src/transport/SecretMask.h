#pragma once

#include <QString>

// An error text with every form in which a log-in may have sent the password
// replaced by "***": as typed, in base64 (AUTH LOGIN), in the base64 of the SASL
// PLAIN credentials with the user name, and escaped inside an IMAP quoted string.
// A server that echoes what it was sent thus repeats none of them to the memo, the
// terminal or the sequence's data file.
QString maskedSecret(QString text, const QString& userName, const QString& password);
