#include "transport/WinZipAes.h"

#include "core/KestrelError.h"
#include "transport/Pbkdf2Sha1.h"

#include <QtEndian>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <array>
#include <cstring>

namespace WinZipAes {

namespace {

constexpr int KeySize = 32;
constexpr int Iterations = 1000;
constexpr int BlockSize = 16;
// Counter blocks encrypted at once: large batches let AES-NI run at full speed.
constexpr int BatchBlocks = 4096;

[[noreturn]] void fail()
{
    throw KestrelError(QStringLiteral("the encryption library failed"));
}

} // namespace

// Key derivation, the counter-mode keystream and the running HMAC of one entry.
class Cipher
{
public:
    Cipher(const QByteArray& password, const QByteArray& salt)
    {
        std::array<unsigned char, 2 * KeySize + VerifierSize> keys{};
        QByteArray derived = pbkdf2HmacSha1(password, salt, Iterations, int(keys.size()));
        std::copy(derived.begin(), derived.end(), keys.begin());
        OPENSSL_cleanse(derived.data(), size_t(derived.size()));
        m_verifier =
            QByteArray(reinterpret_cast<const char*>(keys.data()) + 2 * KeySize, VerifierSize);
        m_aes = EVP_CIPHER_CTX_new();
        if (m_aes == nullptr ||
            EVP_EncryptInit_ex(m_aes, EVP_aes_256_ecb(), nullptr, keys.data(), nullptr) != 1 ||
            EVP_CIPHER_CTX_set_padding(m_aes, 0) != 1)
            fail();
        m_macType = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
        m_mac = m_macType != nullptr ? EVP_MAC_CTX_new(m_macType) : nullptr;
        char digest[] = "SHA1";
        const OSSL_PARAM parameters[] = {
            OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
            OSSL_PARAM_construct_end()};
        if (m_mac == nullptr ||
            EVP_MAC_init(m_mac, keys.data() + KeySize, KeySize, parameters) != 1)
            fail();
        OPENSSL_cleanse(keys.data(), keys.size());
    }

    ~Cipher()
    {
        EVP_CIPHER_CTX_free(m_aes);
        EVP_MAC_CTX_free(m_mac);
        EVP_MAC_free(m_macType);
        OPENSSL_cleanse(m_stream.data(), m_stream.size());
    }

    Cipher(const Cipher&) = delete;
    Cipher& operator=(const Cipher&) = delete;

    const QByteArray& verifier() const { return m_verifier; }

    void authenticate(const char* data, qsizetype size)
    {
        if (size > 0 &&
            EVP_MAC_update(m_mac, reinterpret_cast<const unsigned char*>(data), size_t(size)) != 1)
            fail();
    }

    QByteArray code()
    {
        std::array<unsigned char, EVP_MAX_MD_SIZE> full{};
        size_t length = 0;
        if (EVP_MAC_final(m_mac, full.data(), &length, full.size()) != 1 || length < CodeSize)
            fail();
        return QByteArray(reinterpret_cast<const char*>(full.data()), CodeSize);
    }

    // XORs the keystream over size bytes; the same in both directions.
    void apply(const char* in, char* out, qsizetype size)
    {
        while (size > 0) {
            if (m_used == m_available)
                refill();
            const qsizetype step = qMin(size, qsizetype(m_available - m_used));
            const unsigned char* key = m_stream.data() + m_used;
            // Eight bytes at a time: a byte loop would cost more than the AES itself.
            qsizetype i = 0;
            for (; i + 8 <= step; i += 8) {
                quint64 word = 0;
                quint64 keyWord = 0;
                std::memcpy(&word, in + i, 8);
                std::memcpy(&keyWord, key + i, 8);
                word ^= keyWord;
                std::memcpy(out + i, &word, 8);
            }
            for (; i < step; ++i)
                out[i] = static_cast<char>(static_cast<unsigned char>(in[i]) ^ key[i]);
            m_used += int(step);
            in += step;
            out += step;
            size -= step;
        }
    }

private:
    // The next batch of keystream: counter blocks n, n+1, ... (little-endian, from 1)
    // encrypted with AES in one call.
    void refill()
    {
        for (int block = 0; block < BatchBlocks; ++block) {
            ++m_counter;
            qToLittleEndian(m_counter, m_counters.data() + block * BlockSize);
        }
        int length = 0;
        if (EVP_EncryptUpdate(m_aes, m_stream.data(), &length, m_counters.data(),
                              int(m_counters.size())) != 1 ||
            length != int(m_stream.size()))
            fail();
        m_used = 0;
        m_available = length;
    }

    QByteArray m_verifier;
    EVP_CIPHER_CTX* m_aes = nullptr;
    EVP_MAC* m_macType = nullptr;
    EVP_MAC_CTX* m_mac = nullptr;
    // The upper eight bytes of each counter block stay 0: 2^64 blocks are beyond
    // any file.
    quint64 m_counter = 0;
    std::array<unsigned char, BatchBlocks * BlockSize> m_counters{};
    std::array<unsigned char, BatchBlocks * BlockSize> m_stream{};
    int m_used = 0;
    int m_available = 0;
};

Encryptor::Encryptor(const QByteArray& password) : m_salt(SaltSize, Qt::Uninitialized)
{
    if (RAND_bytes(reinterpret_cast<unsigned char*>(m_salt.data()), SaltSize) != 1)
        fail();
    m_cipher = std::make_unique<Cipher>(password, m_salt);
}

Encryptor::~Encryptor() = default;

QByteArray Encryptor::header() const
{
    return m_salt + m_cipher->verifier();
}

void Encryptor::encrypt(const char* in, char* out, qsizetype size)
{
    m_cipher->apply(in, out, size);
    m_cipher->authenticate(out, size);
}

QByteArray Encryptor::authenticationCode()
{
    return m_cipher->code();
}

Decryptor::Decryptor(const QByteArray& password, const QByteArray& salt)
    : m_cipher(std::make_unique<Cipher>(password, salt))
{}

Decryptor::~Decryptor() = default;

bool Decryptor::verifierMatches(const QByteArray& verifier) const
{
    return verifier == m_cipher->verifier();
}

void Decryptor::decrypt(const char* in, char* out, qsizetype size)
{
    m_cipher->authenticate(in, size);
    m_cipher->apply(in, out, size);
}

bool Decryptor::authenticates(const QByteArray& code)
{
    const QByteArray expected = m_cipher->code();
    return code.size() == CodeSize &&
           CRYPTO_memcmp(code.constData(), expected.constData(), CodeSize) == 0;
}

} // namespace WinZipAes
