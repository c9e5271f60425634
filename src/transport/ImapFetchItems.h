#pragma once

#include "transport/ImapValue.h"
#include "transport/MailboxReader.h"

// Reads the items of one FETCH reply that asked for UID, RFC822.SIZE, INTERNALDATE,
// the Subject and Date header fields and BODYSTRUCTURE into a note.
class ImapFetchItems
{
public:
    // Throws ImapSyntaxError when the items are not name/value pairs or the body
    // structure is malformed. hasStructure tells whether the reply held one (a reply
    // that only tells of changed flags does not).
    static MailboxNote note(const ImapValue& items, bool* hasStructure = nullptr);
};
