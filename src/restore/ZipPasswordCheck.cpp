#include "restore/ZipPasswordCheck.h"

#include "restore/SavedArchive.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QtEndian>

namespace {

constexpr quint32 LocalHeaderSignature = 0x04034b50u;
constexpr qsizetype LocalHeaderSize = 30;
constexpr quint16 AesMethod = 99;
constexpr quint16 AesExtraField = 0x9901;
constexpr int AesKeyIterations = 1000;

quint16 read16(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

struct AesHeader
{
    qsizetype saltAt = 0;
    qsizetype saltLength = 0;
    qsizetype keyLength = 0;
};

} // namespace

qsizetype ZipPasswordCheck::bytesNeeded(const QByteArray& head)
{
    if (head.size() < LocalHeaderSize ||
        qFromLittleEndian<quint32>(head.constData()) != LocalHeaderSignature)
        return 0;
    // The largest salt (AES-256) and the verifier after the name and extra field.
    return LocalHeaderSize + read16(head, 26) + read16(head, 28) + 16 + 2;
}

ZipPasswordCheck::Verdict ZipPasswordCheck::check(const QByteArray& head, const QString& password)
{
    if (bytesNeeded(head) == 0)
        return Verdict::Unreadable;
    const bool encrypted = read16(head, 6) & 0x0001;
    if (!encrypted || read16(head, 8) != AesMethod)
        return Verdict::NotProtected;
    const qsizetype extraStart = LocalHeaderSize + read16(head, 26);
    const qsizetype extraEnd = extraStart + read16(head, 28);
    if (extraEnd > head.size())
        return Verdict::Unreadable;
    AesHeader aes;
    for (qsizetype at = extraStart; at + 4 <= extraEnd;) {
        const quint16 id = read16(head, at);
        const qsizetype length = read16(head, at + 2);
        if (at + 4 + length > extraEnd)
            break;
        if (id == AesExtraField && length >= 7) {
            const int strength = static_cast<unsigned char>(head.at(at + 4 + 4));
            if (strength >= 1 && strength <= 3) {
                aes.keyLength = 8 + 8 * strength;
                aes.saltLength = 4 + 4 * strength;
            }
        }
        at += 4 + length;
    }
    aes.saltAt = extraEnd;
    if (aes.keyLength == 0)
        return Verdict::NotProtected;
    if (aes.saltAt + aes.saltLength + 2 > head.size())
        return Verdict::Unreadable;
    if (password.isEmpty())
        return Verdict::WrongPassword;
    // The derived bytes are the AES key, the authentication key and the verifier.
    const QByteArray derived = QPasswordDigestor::deriveKeyPbkdf2(
        QCryptographicHash::Sha1, SavedArchive::packedPassword(password).toUtf8(),
        head.mid(aes.saltAt, aes.saltLength), AesKeyIterations, 2 * aes.keyLength + 2);
    return derived.right(2) == head.mid(aes.saltAt + aes.saltLength, 2) ? Verdict::Opens
                                                                        : Verdict::WrongPassword;
}
