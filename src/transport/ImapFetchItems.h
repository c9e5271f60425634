#pragma once

#include "transport/ImapValue.h"
#include "transport/MailboxReader.h"

// Reads the items of one FETCH reply that asked for UID, RFC822.SIZE, INTERNALDATE,
// the Subject, Date, Message-ID and X-Kestrel-Set header fields and BODYSTRUCTURE
// into a note.
class ImapFetchItems
{
public:
    // Throws ImapSyntaxError when the items are not name/value pairs or the body
    // structure is malformed. hasStructure tells whether the reply held one (a reply
    // that only tells of changed flags does not).
    static MailboxNote note(const ImapValue& items, bool* hasStructure = nullptr);
    // The set a note belongs to, from its header fields: X-Kestrel-Set when it holds
    // 32 hex digits, else the left part of a Message-ID "<set.part.count@domain>";
    // lower case. Empty for a note without (one written before sets were marked, or
    // by another program).
    static QString setId(const QByteArray& headerFields);
};
