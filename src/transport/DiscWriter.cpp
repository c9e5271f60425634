#include "transport/DiscWriter.h"

#include <QProcess>

DiscWriter::Result XorrisoDiscWriter::run(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("xorriso"), arguments);
    Result result;
    if (!process.waitForStarted())
        return result;
    // A burn of a full disc takes minutes; the caller is on the burn thread then.
    process.waitForFinished(-1);
    result.ran = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}
