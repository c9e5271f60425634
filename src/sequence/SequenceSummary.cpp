#include "sequence/SequenceSummary.h"

#include "core/QuayRegistryObject.h"

QString megabytesText(double bytes)
{
    return QString::number(bytes / 1000000.0, 'g', 15);
}

QStringList sequenceSummaryLines()
{
    const TQuayRegistryObject store;
    return {QStringLiteral("Last back up date: ") + store.ReadLastBackUp(),
            QStringLiteral("Number of files in last back up: ") +
                QString::number(store.ReadNumberOfFilesInLastSequence()),
            QStringLiteral("Total number of files processed: ") +
                QString::number(store.ReadFileIDNumber()),
            QStringLiteral("Total number of backed up runs: ") +
                QString::number(store.ReadNumberOfBackUpSequences()),
            QStringLiteral("Total number of bytes backed up: ") +
                megabytesText(store.ReadNumberOfBytesBackedUp()) + QStringLiteral(" MB")};
}

QStringList sequenceSummaryMemo()
{
    const TQuayRegistryObject store;
    QStringList memo = sequenceSummaryLines();
    if (store.ReadBackUpSequenceSuccess()) {
        memo << QStringLiteral("Last back up was successful.");
    } else if (store.ReadSequenceStoppedByUser()) {
        memo << QStringLiteral("Last back up was cancelled before it completed.")
             << QStringLiteral("For more details see the sequence data file: ") +
                    store.ReadSequenceFile();
    } else {
        memo << QStringLiteral("Last back up was unsuccessful. Please check you devices.")
             << QStringLiteral("For more details see the sequence data file: ") +
                    store.ReadSequenceFile();
    }
    return memo;
}

bool sequenceSummaryFailed()
{
    const TQuayRegistryObject store;
    return !store.ReadBackUpSequenceSuccess() && !store.ReadSequenceStoppedByUser();
}
