#include "transport/ZipMessages.h"

#include <QHash>

#include <zip.h>

#include <cerrno>

QString zipMessageText(int number)
{
    static const QHash<int, QString> texts = {
        {10101, QStringLiteral("Fatal Error in ZipDLL.DLL: abort exception")},
        {10102, QStringLiteral("Error - no zip file specified!")},
        {10204, QStringLiteral("Warning - Garbage at the end of the zipfile!")},
        {10301, QStringLiteral("Error - no files to zip!")},
        {10302, QStringLiteral("Unattended action not possible without a password")},
        {10601, QStringLiteral("ZIP DLL Loaded")},
        {10602, QStringLiteral("ZipDllExec function not found in ZIPDLL.DLL!")},
        {10603, QStringLiteral("GetZipDllVersion function not found in ZIPDLL.DLL!")},
        {10604, QStringLiteral("ZIPDLL.DLL not found!")},
        {10701, QStringLiteral("UNZDLL Loaded!")},
        {10702, QStringLiteral("UnzDllExec function not found in UNZDLL.DLL!")},
        {10703, QStringLiteral("GetUnzDllVersion function not found in UNZDLL.DLL!")},
        {10704, QStringLiteral("UNZDLL.DLL not found!")},
        {11001, QStringLiteral("Input file does not exist")},
        {11002, QStringLiteral("Zip file could not be opened")},
        {11008, QStringLiteral("Seek error in input file")},
        {11011, QStringLiteral("Error while reading the End Of Central Directory")},
        {11036, QStringLiteral("This archive is not a valid Zip archive")},
    };
    return texts.value(number);
}

QString zipReportText(int number)
{
    const QString text = zipMessageText(number);
    if (!text.isEmpty())
        return text;
    return QStringLiteral("ZipMsgXX.res is probably not linked to the executable\n"
                          "Missing String ID is: ") +
           QString::number(number);
}

QString fileFailureCause(int systemError, bool reading, const QString& source,
                         const QString& folder)
{
    switch (systemError) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("the disk is full");
    case EFBIG:
        return QStringLiteral("the archive is larger than the disk takes");
    case EACCES:
    case EPERM:
        return reading ? QStringLiteral("permission denied reading %1").arg(source)
                       : QStringLiteral("permission denied writing to %1").arg(folder);
    case EROFS:
        return QStringLiteral("the disk of %1 cannot be written to").arg(folder);
    case ENOENT:
    case ENOTDIR:
        return reading ? QStringLiteral("%1 no longer exists").arg(source)
                       : QStringLiteral("the folder %1 does not exist").arg(folder);
    case EIO:
        return reading ? QStringLiteral("the disk could not read %1").arg(source)
                       : QStringLiteral("the disk could not write to %1").arg(folder);
    case ENOMEM:
        return QStringLiteral("there is not enough memory");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("too many files are open");
    default:
        return reading ? QStringLiteral("%1 could not be read").arg(source)
                       : QStringLiteral("the archive could not be written to %1").arg(folder);
    }
}

QString zipFailureCause(int zipError, int systemError, const QString& source, const QString& folder)
{
    switch (zipError) {
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL:
        return fileFailureCause(systemError, true, source, folder);
    case ZIP_ER_WRITE:
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_RENAME:
    case ZIP_ER_CLOSE:
    case ZIP_ER_REMOVE:
        return fileFailureCause(systemError, false, source, folder);
    case ZIP_ER_MEMORY:
        return QStringLiteral("there is not enough memory");
    case ZIP_ER_CHANGED:
    case ZIP_ER_EOF:
        return QStringLiteral("%1 changed while it was packed").arg(source);
    case ZIP_ER_ENCRNOTSUPP:
        return QStringLiteral("the zip engine of this computer cannot encrypt archives");
    default:
        return QStringLiteral("the zip engine could not pack %1").arg(source);
    }
}
