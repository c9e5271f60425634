// A backup log file as the disk holds it, read whole and record by record.

#include "FuzzSupport.h"

#include "backupdata/BackUpLogReader.h"
#include "backupdata/TernBackUpFileObjectList.h"
#include "core/KestrelError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzzFile(QStringLiteral("BackUp.Log"), fuzzInput(data, size));
    try {
        TTernBackUpFileObjectList list;
        const BackUpLogReadResult result = BackUpLogReader::readAll(path, list);
        BackUpLogReader reader(path);
        TTernBackUpFileObject record;
        qsizetype records = 0;
        qsizetype damaged = 0;
        for (;;) {
            const BackUpLogReader::Status status = reader.readNext(record);
            if (status == BackUpLogReader::Status::End)
                break;
            if (status == BackUpLogReader::Status::Record)
                ++records;
            else
                ++damaged;
        }
        if (records != result.recordCount || damaged != result.damagedLines.size())
            __builtin_trap();
    } catch (const KestrelError&) {
    }
    return 0;
}
