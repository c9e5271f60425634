#include "core/Scrambler.h"

#include <cstdint>

namespace {

constexpr std::uint16_t StartKey = 5813;
constexpr std::uint16_t KeyMultiplier = 4493;
constexpr std::uint16_t KeyIncrement = 6947;

std::uint16_t advance(std::uint16_t key, std::uint8_t scrambledByte)
{
    return static_cast<std::uint16_t>((key + scrambledByte) * KeyMultiplier + KeyIncrement);
}

} // namespace

QByteArray scrambleBytes(const QByteArray& plain)
{
    QByteArray out(plain.size(), Qt::Uninitialized);
    std::uint16_t key = StartKey;
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const auto scrambled =
            static_cast<std::uint8_t>(static_cast<std::uint8_t>(plain[i]) ^ (key >> 8));
        out[i] = static_cast<char>(scrambled);
        key = advance(key, scrambled);
    }
    return out;
}

QByteArray unscrambleBytes(const QByteArray& scrambled)
{
    QByteArray out(scrambled.size(), Qt::Uninitialized);
    std::uint16_t key = StartKey;
    for (qsizetype i = 0; i < scrambled.size(); ++i) {
        const auto in = static_cast<std::uint8_t>(scrambled[i]);
        out[i] = static_cast<char>(in ^ (key >> 8));
        key = advance(key, in);
    }
    return out;
}
