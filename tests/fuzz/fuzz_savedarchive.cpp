// A downloaded archive opened for restoring its one file, extracted with the password
// the seeds were packed with; and the same file's directory read as the zip
// component reads it; and the same bytes read as they arrive, in odd pieces.

#include "FuzzSupport.h"

#include "core/KestrelError.h"
#include "restore/SavedArchive.h"
#include "restore/SavedArchiveStream.h"
#include "transport/ZipMaster.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzInput(data, size);
    const QString path = fuzzFile(QStringLiteral("a.txt.zip"), bytes);
    try {
        SavedArchive archive(path);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        archive.extract(QStringLiteral("fuzz-password"), out);
    } catch (const KestrelError&) {
    }
    qint64 taken = 0;
    SavedArchiveStream stream(QStringLiteral("fuzz-password"),
                              [&](const char*, qsizetype length) { taken += length; });
    try {
        for (qsizetype at = 0; at < bytes.size(); at += 7)
            stream.feed(bytes.constData() + at, qMin<qsizetype>(7, bytes.size() - at));
        if (stream.finish() == SavedArchive::Extracted::Done && taken != stream.entry().size)
            __builtin_trap();
    } catch (const KestrelError&) {
    }
    // Never more than the entry declares, whatever the archive holds.
    if (taken != stream.written() || taken > stream.entry().size)
        __builtin_trap();
    TZipMaster zip;
    zip.SetZipFileName(path);
    (void)zip.ArchiveSize();
    return 0;
}
