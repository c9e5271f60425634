#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

// WinZip AES encryption of one zip entry with a 256-bit key (AE-2): the key, the
// authentication key and a two-byte password verifier come from PBKDF2-HMAC-SHA1
// over the password and a random salt; the data is encrypted in counter mode with a
// little-endian counter starting at 1 and authenticated with HMAC-SHA1 over the
// ciphertext, truncated to ten bytes. Both directions work chunk by chunk, so a
// file of any size streams through a small buffer.
namespace WinZipAes {

constexpr int SaltSize = 16;
constexpr int VerifierSize = 2;
constexpr int CodeSize = 10;
// Salt and verifier before the ciphertext, the code after it.
constexpr int Overhead = SaltSize + VerifierSize + CodeSize;

class Cipher;

class Encryptor
{
public:
    // password: the bytes the user's password is stored as (UTF-8).
    explicit Encryptor(const QByteArray& password);
    ~Encryptor();
    Encryptor(const Encryptor&) = delete;
    Encryptor& operator=(const Encryptor&) = delete;

    // Salt and password verifier: the first bytes of the entry's data.
    QByteArray header() const;
    // Encrypts size bytes from in to out (which may be the same place).
    void encrypt(const char* in, char* out, qsizetype size);
    // The authentication code that ends the entry's data, once all is encrypted.
    QByteArray authenticationCode();

private:
    QByteArray m_salt;
    std::unique_ptr<Cipher> m_cipher;
};

class Decryptor
{
public:
    Decryptor(const QByteArray& password, const QByteArray& salt);
    ~Decryptor();
    Decryptor(const Decryptor&) = delete;
    Decryptor& operator=(const Decryptor&) = delete;

    // Whether the two bytes after the salt match this password: a wrong password
    // is told apart before any data is read (with a 1 in 65536 chance of a miss).
    bool verifierMatches(const QByteArray& verifier) const;
    void decrypt(const char* in, char* out, qsizetype size);
    // Whether the code after the ciphertext proves the data unchanged.
    bool authenticates(const QByteArray& code);

private:
    std::unique_ptr<Cipher> m_cipher;
};

} // namespace WinZipAes
