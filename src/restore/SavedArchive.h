#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;
struct zip;

// A downloaded save-note archive, opened for reading its one file. Opening checks
// everything that can be checked before a byte is written: exactly one entry, a
// plain file name (no "/", "\\", "." or ".."), no link or folder, a supported method,
// and a declared size the archive makes plausible. Extracting stops at the declared
// size, so an entry that inflates beyond what it declares is refused unwritten.
class SavedArchive
{
public:
    // Deflate gives at most about 1032 bytes for each compressed byte: an entry that
    // declares more than this many times the archive's size, plus some slack for
    // tiny archives, cannot be an archive of ours and is refused as a zip bomb.
    static constexpr qint64 MaxExpansion = 1100;
    static constexpr qint64 ExpansionSlack = 1024 * 1024;

    struct Entry
    {
        QString name;
        qint64 size = 0;
        QDateTime modified;
        // Whether modified is to the second (the extended timestamp) or the DOS date.
        bool exactTime = false;
        bool encrypted = false;
        // Encrypted with WinZip AES, as the program packs with a zip password; the old
        // PKWARE cipher is no protection and an unencrypted entry none at all.
        bool aesEncrypted = false;
        // The permission bits the archive records, when it records any.
        std::optional<int> permissions;
    };

    enum class Extracted
    {
        Done,
        WrongPassword
    };

    // The password as the zip component packs with it: at most 255 characters.
    static QString packedPassword(const QString& password);
    // Why an entry is refused when a zip password is set but it is not AES-encrypted.
    static QString notProtectedMessage();

    // Throws KestrelError with the reason when the archive is refused or unreadable.
    explicit SavedArchive(const QString& path);
    ~SavedArchive();
    SavedArchive(const SavedArchive&) = delete;
    SavedArchive& operator=(const SavedArchive&) = delete;

    const Entry& entry() const { return m_entry; }

    // Writes the entry to out from its start, checking the CRC and that exactly the
    // declared bytes arrive; progress gets the bytes written and may return false to
    // stop ("cancelled"). Throws KestrelError on a damaged archive or a failed write,
    // and, when a password is given, on an entry not encrypted with AES: anyone who can
    // put a message into the mailbox could have made it, so it is refused unwritten.
    using Progress = std::function<bool(qint64 written)>;
    Extracted extract(const QString& password, QIODevice& out, const Progress& progress = {});

private:
    zip* m_archive = nullptr;
    Entry m_entry;
};
