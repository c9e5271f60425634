#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

QByteArray fuzzInput(const uint8_t* data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                   static_cast<qsizetype>(size));
}

void ensureFuzzApplication()
{
    static int argc = 1;
    static char name[] = "kestrel-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

QString fuzzFile(const QString& name, const QByteArray& bytes)
{
    static QTemporaryDir folder;
    if (!folder.isValid())
        std::abort();
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
    return path;
}

void fuzzReport(const QString& text)
{
    static const bool verbose = qEnvironmentVariableIsSet("KESTREL_FUZZ_VERBOSE");
    if (verbose)
        std::fprintf(stderr, "%s\n", qUtf8Printable(text));
}
