// An attachment's base64 as it arrives from the server: the first byte of the input
// sets the size of the pieces the rest comes in, since the decoder keeps its state
// between pieces.

#include "FuzzSupport.h"

#include "core/KestrelError.h"
#include "transport/Base64StreamDecoder.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype piece = data[0] % 17 + 1;
    const QByteArray encoded = fuzzInput(data + 1, size - 1);
    QBuffer decoded;
    decoded.open(QIODevice::WriteOnly);
    Base64StreamDecoder decoder(decoded);
    try {
        for (qsizetype at = 0; at < encoded.size(); at += piece)
            decoder.write(QByteArrayView(encoded).sliced(at, qMin(piece, encoded.size() - at)));
        decoder.finish();
        if (decoder.decodedBytes() != decoded.size())
            __builtin_trap();
        // Text without line breaks that both take must decode to the same bytes.
        const auto whole =
            QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
        if (whole && whole.decoded != decoded.data())
            __builtin_trap();
    } catch (const KestrelError&) {
    }
    return 0;
}
