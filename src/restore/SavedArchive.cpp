#include "restore/SavedArchive.h"

#include "core/KestrelError.h"
#include "core/WholeWrite.h"
#include "restore/ZipEntryFields.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <zip.h>

#include <memory>
#include <optional>
#include <sys/stat.h>

namespace {

QString libzipText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

// The modification time to the second from the entry's extended timestamp (0x5455),
// central header first; the DOS date that libzip reports has two-second steps and
// nothing before 1980.
std::optional<QDateTime> exactModificationTime(zip_t* archive)
{
    for (const zip_flags_t where : {ZIP_FL_CENTRAL, ZIP_FL_LOCAL}) {
        zip_uint16_t length = 0;
        const zip_uint8_t* data =
            zip_file_extra_field_get_by_id(archive, 0, 0x5455, 0, &length, where);
        if (data == nullptr || length < 5 || (data[0] & 0x01) == 0)
            continue;
        const quint32 value = quint32(data[1]) | quint32(data[2]) << 8 | quint32(data[3]) << 16 |
                              quint32(data[4]) << 24;
        return QDateTime::fromSecsSinceEpoch(static_cast<qint32>(value));
    }
    return std::nullopt;
}

} // namespace

QString SavedArchive::packedPassword(const QString& password)
{
    QString cut = password.left(255);
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut;
}

QString SavedArchive::notProtectedMessage()
{
    return QStringLiteral("refused: the archive is not encrypted with AES although a zip "
                          "password is set, so anyone could have made it (clear the zip "
                          "password to take it anyway)");
}

SavedArchive::SavedArchive(const QString& path)
{
    int openError = 0;
    m_archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &openError);
    if (m_archive == nullptr)
        throw KestrelError(
            QStringLiteral("the archive does not open: %1").arg(libzipText(openError)));
    // The archive is closed again by the destructor, which a throwing constructor skips.
    std::unique_ptr<zip, decltype(&zip_discard)> guard(m_archive, &zip_discard);

    const zip_int64_t entries = zip_get_num_entries(m_archive, 0);
    if (entries != 1)
        throw KestrelError(QStringLiteral("the archive holds %1 entries, not one").arg(entries));
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_archive, 0, 0, &stat) < 0 || !(stat.valid & ZIP_STAT_NAME) ||
        !(stat.valid & ZIP_STAT_SIZE) || !(stat.valid & ZIP_STAT_COMP_SIZE))
        throw KestrelError(QStringLiteral("the archive's entry cannot be read"));
    m_entry.name = QString::fromUtf8(stat.name);
    if (!ZipEntryFields::isPlainName(m_entry.name))
        throw KestrelError(QStringLiteral("the archive's entry is not a plain file name"));

    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(m_archive, 0, 0, &system, &attributes) == 0 &&
        system == ZIP_OPSYS_UNIX) {
        const mode_t mode = attributes >> 16;
        if (S_ISLNK(mode))
            throw KestrelError(QStringLiteral("the archive's entry is a link"));
        if (S_ISDIR(mode))
            throw KestrelError(QStringLiteral("the archive's entry is a folder"));
        if ((mode & S_IFMT) == S_IFREG)
            m_entry.permissions = static_cast<int>(mode & 0777);
    }
    if ((stat.valid & ZIP_STAT_COMP_METHOD) &&
        !zip_compression_method_supported(static_cast<zip_int32_t>(stat.comp_method), 0))
        throw KestrelError(QStringLiteral("the archive's compression method is not supported"));

    m_entry.size = static_cast<qint64>(stat.size);
    const qint64 archiveSize = QFileInfo(path).size();
    if (stat.size > static_cast<zip_uint64_t>(archiveSize * MaxExpansion + ExpansionSlack) ||
        stat.comp_size > static_cast<zip_uint64_t>(archiveSize))
        throw KestrelError(
            QStringLiteral("the archive's entry claims %1 bytes in an archive of %2 bytes "
                           "(refused as a zip bomb)")
                .arg(m_entry.size)
                .arg(archiveSize));
    if (const auto exact = exactModificationTime(m_archive)) {
        m_entry.modified = *exact;
        m_entry.exactTime = true;
    } else if (stat.valid & ZIP_STAT_MTIME)
        m_entry.modified = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(stat.mtime));
    m_entry.encrypted =
        (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE;
    m_entry.aesEncrypted = m_entry.encrypted && (stat.encryption_method == ZIP_EM_AES_128 ||
                                                 stat.encryption_method == ZIP_EM_AES_192 ||
                                                 stat.encryption_method == ZIP_EM_AES_256);
    guard.release();
}

SavedArchive::~SavedArchive()
{
    if (m_archive != nullptr)
        zip_discard(m_archive);
}

SavedArchive::Extracted SavedArchive::extract(const QString& password, QIODevice& out,
                                              const Progress& progress)
{
    if (m_entry.encrypted && password.isEmpty())
        return Extracted::WrongPassword;
    if (!password.isEmpty() && !m_entry.aesEncrypted)
        throw KestrelError(notProtectedMessage());
    const QByteArray secret = password.toUtf8();
    zip_file_t* file = m_entry.encrypted
                           ? zip_fopen_index_encrypted(m_archive, 0, 0, secret.constData())
                           : zip_fopen_index(m_archive, 0, 0);
    if (file == nullptr) {
        const int code = zip_error_code_zip(zip_get_error(m_archive));
        zip_error_clear(m_archive);
        if (code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_NOPASSWD)
            return Extracted::WrongPassword;
        throw KestrelError(
            QStringLiteral("the archive's entry does not open: %1").arg(libzipText(code)));
    }
    std::unique_ptr<zip_file_t, decltype(&zip_fclose)> guard(file, &zip_fclose);

    if (!out.seek(0) || !out.reset())
        throw KestrelError(QStringLiteral("could not write the file: %1").arg(out.errorString()));
    if (auto* disk = qobject_cast<QFile*>(&out))
        disk->resize(0);
    // One byte more than declared is asked for, so that an entry inflating past its
    // declared size is caught before it can fill the disk.
    char chunk[65536];
    qint64 written = 0;
    for (;;) {
        const qint64 room = m_entry.size + 1 - written;
        const zip_int64_t got =
            zip_fread(file, chunk, static_cast<zip_uint64_t>(qMin<qint64>(sizeof chunk, room)));
        if (got < 0) {
            const int code = zip_error_code_zip(zip_file_get_error(file));
            if (code == ZIP_ER_CRC)
                throw KestrelError(QStringLiteral("the CRC check failed: the archive is damaged"));
            if (code == ZIP_ER_WRONGPASSWD)
                return Extracted::WrongPassword;
            throw KestrelError(
                QStringLiteral("the archive's entry cannot be read: %1").arg(libzipText(code)));
        }
        if (got == 0)
            break;
        if (written + got > m_entry.size)
            throw KestrelError(QStringLiteral("the archive's entry is larger than it declares "
                                              "(refused as a zip bomb)"));
        if (!writeWhole(out, chunk, got))
            throw KestrelError(
                QStringLiteral("could not write the file: %1").arg(out.errorString()));
        written += got;
        if (progress && !progress(written))
            throw KestrelError(QStringLiteral("cancelled"));
    }
    if (written != m_entry.size)
        throw KestrelError(
            QStringLiteral("the archive's entry holds %1 bytes, not the %2 it declares")
                .arg(written)
                .arg(m_entry.size));
    return Extracted::Done;
}
