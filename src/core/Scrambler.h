#pragma once

#include <QByteArray>

// The reversible byte scrambling of the three secret settings. Each output byte is
// the input byte XOR the high byte of a 16-bit key register that starts at 5813 and
// is advanced with the scrambled byte, so both directions are exact inverses.
// Output has the input's length and may contain 0 bytes.
QByteArray scrambleBytes(const QByteArray& plain);
QByteArray unscrambleBytes(const QByteArray& scrambled);
