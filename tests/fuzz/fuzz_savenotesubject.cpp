// The save notes a mailbox lists: each line of the input is one note,
// "subject|attachment name|set id|date", its UID the line's number. Each subject is
// read, then all the notes are grouped into files and versions.

#include "FuzzSupport.h"

#include "restore/SaveNoteSubject.h"
#include "transport/HeaderDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString prefix = QStringLiteral("KestrelSolo Save#7#");
    QList<MailboxNote> notes;
    quint32 uid = 0;
    for (const QByteArray& line : fuzzInput(data, size).split('\n')) {
        const QList<QByteArray> fields = line.split('|');
        MailboxNote note;
        note.uid = ++uid;
        note.subject = HeaderDecoder::text(fields.value(0));
        note.attachmentName = QString::fromUtf8(fields.value(1));
        note.setId = QString::fromUtf8(fields.value(2));
        note.date = HeaderDecoder::date(fields.value(3));
        note.attachmentSection = "2";
        note.attachmentEncoding = "base64";
        note.attachmentEncodedSize = fields.value(0).size() * 1000;
        note.messageSize = note.attachmentEncodedSize + 1000;
        if (const auto subject =
                SaveNoteSubject::parse(prefix, note.subject, note.attachmentName)) {
            if (subject->path.isEmpty() || subject->part < 1 || subject->part > subject->count)
                __builtin_trap();
        }
        notes.append(note);
    }
    for (const SavedFile& file : groupSavedVersions(prefix, notes)) {
        for (const SavedVersion& version : file.versions) {
            (void)version.fault();
            (void)version.missingParts();
            (void)version.archiveSize();
        }
    }
    return 0;
}
