// A message's BODYSTRUCTURE as the server sends it: parsed as one value, then
// searched for the attachment.

#include "FuzzSupport.h"

#include "transport/ImapBodyStructure.h"
#include "transport/ImapValue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        ImapParser parser(fuzzInput(data, size));
        const ImapValue structure = parser.value();
        const ImapBodyStructure::Attachment attachment =
            ImapBodyStructure::findAttachment(structure);
        (void)attachment.fileName.size();
    } catch (const ImapSyntaxError&) {
    }
    return 0;
}
