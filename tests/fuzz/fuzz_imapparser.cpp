// The IMAP response parser on one response as the connection hands it over: the
// words of its start, then every value of the rest.

#include "FuzzSupport.h"

#include "transport/ImapValue.h"

namespace {

void walk(const ImapValue& value, int depth)
{
    if (value.kind == ImapValue::Kind::Atom) {
        (void)value.number();
        (void)value.isAtom("NIL");
    }
    for (const ImapValue& item : value.items)
        walk(item, depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray response = fuzzInput(data, size);
    try {
        ImapParser parser(response);
        (void)parser.word();
        parser.skipBlanks();
        (void)parser.word();
        parser.skipBlanks();
        (void)parser.rest();
        for (const ImapValue& value : parser.values())
            walk(value, 0);
    } catch (const ImapSyntaxError&) {
    }
    try {
        // From the start too: a fetch's values follow "* n FETCH ", a list's start.
        ImapParser parser(response);
        while (!parser.atEnd()) {
            walk(parser.value(), 0);
            parser.skipBlanks();
        }
    } catch (const ImapSyntaxError&) {
    }
    return 0;
}
