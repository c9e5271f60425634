// A downloaded archive opened for restoring its one file, extracted with the password
// the seeds were packed with; and the same file's directory read as the zip
// component reads it.

#include "FuzzSupport.h"

#include "core/KestrelError.h"
#include "restore/SavedArchive.h"
#include "transport/ZipMaster.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzzFile(QStringLiteral("a.txt.zip"), fuzzInput(data, size));
    try {
        SavedArchive archive(path);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        archive.extract(QStringLiteral("fuzz-password"), out);
    } catch (const KestrelError&) {
    }
    TZipMaster zip;
    zip.SetZipFileName(path);
    (void)zip.ArchiveSize();
    return 0;
}
