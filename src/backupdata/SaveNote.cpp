#include "backupdata/SaveNote.h"

#include "backupdata/BackUpLogAppend.h"
#include "backupdata/FileNameParts.h"
#include "backupdata/MachineNumber.h"
#include "core/EditionProfile.h"
#include "core/QuayRegistryObject.h"
#include "transport/IdMessage.h"

#include <QHostAddress>

namespace SaveNote {

QString sender()
{
    const TQuayRegistryObject store;
    const QString userName = store.ReadUserSMPTServerName();
    // Most providers' log-ins are the account's full address, and "user@host" of such
    // a name ("ann@example.org@smtp.example.org") is no valid sender (RFC 5321
    // section 4.1.2): such a name is the sender as it stands.
    if (userName.contains(QLatin1Char('@')))
        return userName;
    // A server without log-in needs no user name; the user's own address stands in.
    if (userName.isEmpty() && !store.ReadUserEmailAddress().isEmpty())
        return store.ReadUserEmailAddress();
    // A server given by its address makes a domain literal ("jo@[192.0.2.7]"): mail
    // servers refuse a bare address after the "@" (RFC 5321 section 4.1.3).
    const QString server = store.ReadUserSMPTName().trimmed();
    const QHostAddress address(server);
    if (address.isNull())
        return userName + QLatin1Char('@') + server;
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return userName + QStringLiteral("@[IPv6:") + address.toString() + QLatin1Char(']');
    return userName + QStringLiteral("@[") + address.toString() + QLatin1Char(']');
}

QString recipient()
{
    return TQuayRegistryObject().ReadUserBackUpEmailAddress();
}

QString lastLogName(const QString& fileName, int id)
{
    const TQuayRegistryObject store;
    const QChar hash = QLatin1Char('#');
    return store.ReadUserID() + hash + machineNumberText() + hash + store.ReadUserQuayName() +
           hash + QString::number(id) + hash + FileNameParts::namePartOf(fileName);
}

QString subject(const QString& fileName, int id)
{
    if (isEdition(Edition::KestrelClient))
        return QStringLiteral("KestrelClient Save#") + lastLogName(fileName, id);
    return QStringLiteral("KestrelSolo Save#") + machineNumberText() + QLatin1Char('#') + fileName;
}

void address(TIdMessage& message, const QString& fileName, int id)
{
    BackUpLogAppend::requireSingleLine(fileName);
    message.From = TIdEmailAddressItem(QString(), sender());
    message.Recipients.setText(recipient());
    message.Subject = subject(fileName, id);
}

} // namespace SaveNote
