#include "backupdata/SelectionListAppend.h"

#include "backupdata/SelectionList.h"
#include "backupdata/SelectionListText.h"
#include "core/KestrelError.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Descriptor
{
public:
    explicit Descriptor(int descriptor) : m_descriptor(descriptor) {}
    ~Descriptor()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

// Whether the file's last byte is anything but a line feed.
bool endsWithoutLineEnd(int descriptor)
{
    struct stat status = {};
    if (::fstat(descriptor, &status) != 0 || status.st_size == 0)
        return false;
    char last = 0;
    return ::pread(descriptor, &last, 1, status.st_size - 1) == 1 && last != '\n';
}

bool writeAll(int descriptor, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t result =
            ::write(descriptor, bytes.constData() + written, size_t(bytes.size() - written));
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return false;
        written += result;
    }
    return true;
}

} // namespace

QStringList appendSelectionListEntries(const QString& path, const QStringList& entries)
{
    const QStringList listed = readSelectionList(path);
    QSet<QString> known(listed.cbegin(), listed.cend());
    QStringList added;
    QByteArray lines;
    for (const QString& entry : entries) {
        if (known.contains(entry))
            continue;
        known.insert(entry);
        added.append(entry);
        lines.append(encodeListLine(entry));
        lines.append("\r\n");
    }
    if (added.isEmpty())
        return added;

    const Descriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (file.get() < 0)
        throw KestrelError(path);
    if (endsWithoutLineEnd(file.get()))
        lines.prepend("\r\n");
    // O_APPEND puts the whole buffer at the end in one write.
    if (!writeAll(file.get(), lines) || ::fsync(file.get()) != 0)
        throw KestrelError(path);
    return added;
}
