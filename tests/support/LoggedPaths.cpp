#include "support/LoggedPaths.h"

#include "backupdata/BackUpLogReader.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/QuayRegistryObject.h"

QStringList loggedPaths()
{
    TTernBackUpFileObjectList log;
    BackUpLogReader::readAll(TQuayRegistryObject().ReadLogFile(), log);
    QStringList paths;
    for (qsizetype i = 0; i < log.Count(); ++i)
        paths << log.Items(i).FileName();
    return paths;
}
