#include "backupdata/MachineNumber.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QtEndian>

#include <sys/statvfs.h>

namespace {

// Fixed for all time: changing it would change every machine number and so break
// the link between old save notes and the computer that sent them.
constexpr char KestrelMachineId[] = "Kestrel machine number v1";

QByteArray rootFileSystemId()
{
    struct statvfs info = {};
    if (statvfs("/", &info) != 0)
        return QByteArray();
    return QByteArray::number(static_cast<qulonglong>(info.f_fsid));
}

} // namespace

QByteArray machineIdentityKey(const QString& machineIdPath)
{
    QFile file(machineIdPath);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray id = file.read(4096).trimmed();
        if (!id.isEmpty())
            return id;
    }
    return rootFileSystemId();
}

quint32 machineNumberForKey(const QByteArray& key)
{
    const QByteArray digest = QMessageAuthenticationCode::hash(QByteArray(KestrelMachineId), key,
                                                               QCryptographicHash::Sha256);
    return qFromBigEndian<quint32>(digest.constData());
}

QString machineNumberText()
{
    return QString::number(machineNumberForKey(machineIdentityKey()));
}
