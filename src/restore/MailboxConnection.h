#pragma once

#include "sequence/StepRunner.h"
#include "transport/MailboxReader.h"
#include "transport/ServerCertificateTrust.h"

// Opens the mailbox of a reader through the runner (on its worker thread, when the
// window gives one), asking on the calling thread whether to trust a certificate the
// system does not, storing a Yes as the server's trusted certificate and trying once
// more. Without anyone to ask, the failure says how to trust it from the command line.
// Throws KestrelError.
MailboxReader::MailboxState openMailbox(MailboxReader& reader, const StepRunner& runner,
                                        TrustedServer server = TrustedServer::Imap);
