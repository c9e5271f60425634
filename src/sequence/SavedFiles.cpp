#include "sequence/SavedFiles.h"

namespace {

// The decoded bytes of an attachment from its size as the server gives it: base64
// in lines of 76 characters and CR LF carries 57 bytes in every 78.
qint64 decodedSize(const MailboxNote& note)
{
    if (note.attachmentEncoding != "base64")
        return note.attachmentEncodedSize;
    const qint64 lines = note.attachmentEncodedSize / 78;
    const qint64 rest = qMax<qint64>(0, note.attachmentEncodedSize % 78 - 2);
    return lines * 57 + rest / 4 * 3;
}

} // namespace

qint64 SavedVersion::archiveSize() const
{
    qint64 total = 0;
    for (const MailboxNote& note : parts)
        total += decodedSize(note);
    return total;
}
