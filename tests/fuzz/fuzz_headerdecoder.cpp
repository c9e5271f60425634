// Mail header text as a mailbox hands it over: one field of a header block, the
// encoded words of a Subject, dates in both forms and MIME parameters read from
// "name=value; ..." pairs.

#include "FuzzSupport.h"

#include "transport/HeaderDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray raw = fuzzInput(data, size);
    (void)HeaderDecoder::text(raw);
    (void)HeaderDecoder::date(raw);
    (void)HeaderDecoder::internalDate(raw);
    const QByteArray subject = HeaderDecoder::field(raw, "Subject");
    (void)HeaderDecoder::text(subject);
    (void)HeaderDecoder::date(HeaderDecoder::field(raw, "Date"));

    HeaderDecoder::Parameters parameters;
    for (const QByteArray& pair : raw.split(';')) {
        const qsizetype equals = pair.indexOf('=');
        if (equals >= 0)
            parameters.append({pair.left(equals).trimmed(), pair.mid(equals + 1).trimmed()});
    }
    (void)HeaderDecoder::parameter(parameters, "filename");
    (void)HeaderDecoder::parameter(parameters, "name");
    return 0;
}
