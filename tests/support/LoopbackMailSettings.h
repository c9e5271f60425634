#pragma once

#include <QString>

// The mail account the tests and benchmarks point the settings at: an SMTP server on
// 127.0.0.1 and the given port.
struct LoopbackMailAccount
{
    QString user = QStringLiteral("jo");
    QString password = QStringLiteral("secret");
    QString backupAddress = QStringLiteral("backups@example.org");
    // Empty: archives without a password.
    QString zipPassword;
};

void storeLoopbackMailSettings(quint16 port, const LoopbackMailAccount& account = {});
