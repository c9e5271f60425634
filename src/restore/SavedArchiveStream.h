#pragma once

#include "restore/SavedArchive.h"

#include <QByteArray>

#include <functional>
#include <memory>

// A save-note archive read as its bytes arrive, parts in order, in one pass: the
// entry is decrypted, inflated and handed to the sink chunk by chunk, with the
// checks SavedArchive makes on a downloaded file. The local header is checked before
// any byte reaches the sink; the CRC, the authentication code, the size and the
// central directory (which alone tells a link from a file) only at the end, so the
// sink's bytes count only once finish() returns Done. Memory stays small whatever
// the entry's size. Entries whose sizes follow the data (a data descriptor) are
// refused: the size must be known before extracting.
class SavedArchiveStream
{
public:
    // Takes the entry's bytes; throws KestrelError when they cannot be kept.
    using Sink = std::function<void(const char* data, qsizetype size)>;

    // password: as the user typed it (may be empty).
    SavedArchiveStream(const QString& password, Sink sink);
    ~SavedArchiveStream();
    SavedArchiveStream(const SavedArchiveStream&) = delete;
    SavedArchiveStream& operator=(const SavedArchiveStream&) = delete;

    // The next bytes of the archive, in chunks of any size. Throws KestrelError with
    // the reason when the archive is refused; after a wrong password the rest is
    // ignored.
    void feed(const char* data, qsizetype size);
    void feed(const QByteArray& bytes) { feed(bytes.constData(), bytes.size()); }
    // At the end of the archive: throws KestrelError when it is cut short, damaged or
    // its directory disagrees with the entry.
    SavedArchive::Extracted finish();

    // Whether the entry's header has been read (name, size, time, encryption known).
    bool hasEntry() const;
    // Permissions are known only after finish(), from the central directory.
    const SavedArchive::Entry& entry() const;
    // Bytes handed to the sink so far.
    qint64 written() const;
    // Whether the archive was refused only for a form this reader does not take (sizes
    // after the data, another compression method), which a reader of the whole
    // downloaded archive may still open.
    bool needsWholeArchive() const;

private:
    class Decoder;
    std::unique_ptr<Decoder> m_decoder;
};
