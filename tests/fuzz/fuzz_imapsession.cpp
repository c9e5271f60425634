// The whole reading of a mailbox over IMAP against a server whose replies are the
// input: greeting, capabilities, log-in, EXAMINE, SEARCH, FETCH of the notes, then
// the first attachment and its tail.

#include "FuzzSupport.h"
#include "LoopbackPeer.h"

#include "core/KestrelError.h"
#include "transport/ImapMailboxReader.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ensureFuzzApplication();
    LoopbackPeer peer(fuzzInput(data, size));
    ImapMailboxReader reader(
        ImapMailboxReader::Settings{QStringLiteral("127.0.0.1"), peer.port(), QStringLiteral("jo"),
                                    QStringLiteral("fuzz-password"), QStringLiteral("INBOX")});
    // Every reply is sent before the first is read, so no wait lasts; these only
    // bound a fault of the peer.
    reader.setConnectTimeoutMs(5000);
    reader.setReplyTimeoutMs(5000);
    try {
        reader.open();
        QList<quint32> uids = reader.findSubjects(QStringLiteral("KestrelSolo Save#"));
        if (uids.isEmpty())
            uids = reader.allUids();
        const QList<MailboxNote> notes = reader.readNotes(uids.mid(0, 20));
        for (const MailboxNote& note : notes) {
            if (note.attachmentSection.isEmpty())
                continue;
            QBuffer decoded;
            decoded.open(QIODevice::WriteOnly);
            try {
                reader.fetchAttachment(note, decoded,
                                       [](qint64 bytes) { return bytes < 16 * 1024 * 1024; });
            } catch (const KestrelError&) {
                if (!reader.isOpen())
                    throw;
            }
            (void)reader.fetchAttachmentTail(note, 4096);
            break;
        }
        reader.close();
        fuzzReport(QStringLiteral("complete"));
    } catch (const KestrelError& error) {
        fuzzReport(error.message());
    }
    return 0;
}
