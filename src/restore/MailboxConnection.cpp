#include "restore/MailboxConnection.h"

#include "sequence/CertificateTrustQuestion.h"

MailboxReader::MailboxState openMailbox(MailboxReader& reader, const StepRunner& runner,
                                        TrustedServer server)
{
    MailboxReader::MailboxState state;
    // The reader reads the trusted certificate anew each time it opens, so the retry
    // after a Yes finds it.
    CertificateTrustQuestion::connect([&] { runStep(runner, [&] { state = reader.open(); }); },
                                      server);
    return state;
}
