#include "sequence/CDBurnFileObjectList.h"

#include "sequence/SequenceStatusView.h"
#include "transport/CDBurner.h"

bool TCDBurnFileObjectList::VerifyBurn(QStringList& pendingLogLines, const TCDBurner& burner,
                                       SequenceStatusView& status) const
{
    if (m_files.isEmpty())
        return false;
    const QHash<QString, qint64> onDisc = burner.DiscFiles();
    bool result = true;
    for (const TTernFileObject& file : m_files) {
        status.addStatusLine(QStringLiteral("Verifying burning of file: ") + burner.BurnerDrive() +
                             QStringLiteral(":/") + file.RelativeName());
        // A staged path shortened for its length is on the disc as staged.
        const QString area = TCDBurner::BurnArea();
        const QString onDiscName = file.DestinationPath().startsWith(area)
                                       ? file.DestinationPath().mid(area.size())
                                       : file.RelativeName();
        if (onDisc.contains(QLatin1Char('/') + onDiscName)) {
            pendingLogLines.append(file.RecordLine());
            status.addStatusLine(QStringLiteral("- File burnt successfully"));
        } else {
            status.addStatusLine(QStringLiteral("- File not burnt successfully"));
            result = false;
        }
    }
    return result;
}

bool TCDBurnFileObjectList::CheckStagingEmptied(QStringList& pendingLogLines) const
{
    if (m_files.isEmpty())
        return false;
    bool result = true;
    for (const TTernFileObject& file : m_files) {
        if (!file.DestinationExists()) {
            pendingLogLines.append(file.RecordLine());
        } else {
            file.DeleteDestination();
            result = false;
        }
    }
    return result;
}
