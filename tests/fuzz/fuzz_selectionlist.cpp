// A selection list file as the disk holds it, read as the lists read it and line by
// line with both meanings of Ctrl-Z.

#include "FuzzSupport.h"

#include "backupdata/SelectionList.h"
#include "backupdata/SelectionListText.h"
#include "core/KestrelError.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzzInput(data, size);
    try {
        for (const QString& entry :
             readSelectionList(fuzzFile(QStringLiteral("Files.Txt"), bytes))) {
            if (isListableName(entry) && decodeListLine(encodeListLine(entry)) != entry)
                __builtin_trap();
        }
        for (const auto ctrlZ :
             {SelectionListTextReader::CtrlZ::EndsText, SelectionListTextReader::CtrlZ::EndsLine}) {
            QBuffer buffer;
            buffer.setData(bytes);
            buffer.open(QIODevice::ReadOnly);
            SelectionListTextReader reader(buffer, ctrlZ);
            QString line;
            int lastNumber = 0;
            while (reader.readLine(&line)) {
                // What follows a Ctrl-Z in the log is read as a line of its own with
                // the number of the line it stands in.
                if (reader.lineNumber() < lastNumber || reader.lineNumber() < 1)
                    __builtin_trap();
                lastNumber = reader.lineNumber();
            }
        }
    } catch (const KestrelError&) {
    }
    return 0;
}
