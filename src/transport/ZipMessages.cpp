#include "transport/ZipMessages.h"

#include <QHash>

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
