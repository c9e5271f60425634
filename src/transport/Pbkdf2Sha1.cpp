#include "transport/Pbkdf2Sha1.h"

// The digest's own functions are the only way to copy a half-done SHA-1 state
// without an allocation; OpenSSL 3 keeps them, marked as for low-level use.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>

namespace {

constexpr int BlockSize = SHA_CBLOCK;
constexpr int DigestSize = SHA_DIGEST_LENGTH;
using Digest = std::array<unsigned char, DigestSize>;

struct HmacStates
{
    SHA_CTX inner;
    SHA_CTX outer;
};

HmacStates hmacStates(const QByteArray& password)
{
    std::array<unsigned char, BlockSize> key{};
    if (password.size() > BlockSize) {
        SHA1(reinterpret_cast<const unsigned char*>(password.constData()), size_t(password.size()),
             key.data());
    } else {
        std::copy(password.begin(), password.end(), key.begin());
    }
    std::array<unsigned char, BlockSize> pad{};
    HmacStates states;
    for (int i = 0; i < BlockSize; ++i)
        pad[i] = key[i] ^ 0x36;
    SHA1_Init(&states.inner);
    SHA1_Update(&states.inner, pad.data(), pad.size());
    for (int i = 0; i < BlockSize; ++i)
        pad[i] = key[i] ^ 0x5c;
    SHA1_Init(&states.outer);
    SHA1_Update(&states.outer, pad.data(), pad.size());
    OPENSSL_cleanse(key.data(), key.size());
    OPENSSL_cleanse(pad.data(), pad.size());
    return states;
}

void hmac(const HmacStates& states, const unsigned char* data, size_t size, Digest& out)
{
    SHA_CTX context = states.inner;
    SHA1_Update(&context, data, size);
    SHA1_Final(out.data(), &context);
    context = states.outer;
    SHA1_Update(&context, out.data(), out.size());
    SHA1_Final(out.data(), &context);
}

// Block `index` (from 1) of the derived key.
Digest derivedBlock(const HmacStates& states, const QByteArray& salt, int iterations, int index)
{
    QByteArray block = salt;
    block.append(char(index >> 24)).append(char(index >> 16));
    block.append(char(index >> 8)).append(char(index));
    Digest u;
    hmac(states, reinterpret_cast<const unsigned char*>(block.constData()), size_t(block.size()),
         u);
    Digest sum = u;
    for (int round = 1; round < iterations; ++round) {
        hmac(states, u.data(), u.size(), u);
        for (int i = 0; i < DigestSize; ++i)
            sum[i] ^= u[i];
    }
    OPENSSL_cleanse(u.data(), u.size());
    return sum;
}

} // namespace

QByteArray pbkdf2HmacSha1(const QByteArray& password, const QByteArray& salt, int iterations,
                          int length)
{
    HmacStates states = hmacStates(password);
    QByteArray derived(length, Qt::Uninitialized);
    for (int index = 1, done = 0; done < length; ++index) {
        Digest sum = derivedBlock(states, salt, iterations, index);
        const int take = std::min(DigestSize, length - done);
        std::copy_n(sum.begin(), take, derived.begin() + done);
        done += take;
        OPENSSL_cleanse(sum.data(), sum.size());
    }
    OPENSSL_cleanse(&states, sizeof states);
    return derived;
}
