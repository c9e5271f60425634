#pragma once

#include "transport/MailboxReader.h"

#include <QString>

#include <functional>
#include <memory>

// A reader of the mailbox that holds the save notes, not yet open, and the key its
// catalog is cached under (server, user and mailbox; never a password).
struct MailboxSource
{
    std::unique_ptr<MailboxReader> reader;
    QString key;
};

// Makes a source on the thread that will use it: the IMAP reader of the stored
// settings in the program, an in-memory mailbox in tests.
using MailboxSourceFactory = std::function<MailboxSource()>;

// The IMAP reader of the mailbox the settings store names.
MailboxSource mailboxSourceFromStore();
