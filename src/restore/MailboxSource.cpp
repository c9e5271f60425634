#include "restore/MailboxSource.h"

#include "transport/ImapMailboxReader.h"

MailboxSource mailboxSourceFromStore()
{
    auto reader = std::make_unique<ImapMailboxReader>(ImapMailboxReader::settingsFromStore());
    MailboxSource source;
    source.key = reader->mailboxKey();
    source.reader = std::move(reader);
    return source;
}
