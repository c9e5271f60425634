#include "support/LoopbackMailSettings.h"

#include "core/QuayRegistryObject.h"

void storeLoopbackMailSettings(quint16 port, const LoopbackMailAccount& account)
{
    const TQuayRegistryObject store;
    store.WriteUserSMPTName(QStringLiteral("127.0.0.1"));
    store.WriteUserConnectionPort(port);
    store.WriteUserSMPTServerName(account.user);
    store.WriteUserSMPTServerPassword(account.password);
    store.WriteUserBackUpEmailAddress(account.backupAddress);
    store.WriteUserZipPassword(account.zipPassword);
}
