#pragma once

#include "transport/HeaderEncoder.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>

#include <functional>
#include <memory>
#include <vector>

class TIdMessage;
class TIdAttachment;

// Lays a message out as the text that goes between SMTP "Data" and the final ".":
// the header block, an empty line and the body, one line at a time without its
// CR LF. Attachments are read in 57-byte blocks while their part is written, so
// memory does not grow with their size.
class TIdMessageWriter
{
public:
    using LineSink = std::function<void(const QByteArray& line)>;

    explicit TIdMessageWriter(const TIdMessage& message, const QLocale& locale = QLocale::system());
    ~TIdMessageWriter();

    // Checks every header value and opens every attachment, so that a bad value or
    // an unreadable file is found before anything is sent. Throws KestrelError.
    void prepare();
    // Writes the whole message; runs prepare() first when it has not run.
    void write(const LineSink& sink);
    // The number of bytes write() produces, CR LF included, from the files' sizes.
    qint64 size();

    // The moment the header's Date stands for when the message sets none.
    void setNow(const QDateTime& now) { m_now = now; }

    // "Mon, 7 Dec 2026 20:40:38 +1300" (RFC 5322 section 3.3), English names.
    static QString dateText(const QDateTime& dateTime);
    // The bytes that base64 lines of 76 characters and CR LF take for fileSize bytes.
    static qint64 base64Size(qint64 fileSize);

    static const QString MixedBoundary;
    static const QString RelatedBoundary;
    static const QString AlternativeBoundary;
    static constexpr int Base64BlockSize = 57;
    static constexpr int MaxLineLength = 998;

private:
    QList<QByteArray> headerLines() const;
    void writeBody(const LineSink& sink, const std::function<void(std::size_t)>& writeContent);
    void writePartHeaders(const LineSink& sink, const TIdAttachment& attachment) const;
    void streamAttachment(const LineSink& sink, std::size_t index);
    QString addressText(const QString& name, const QString& address) const;
    QString contentTypeValue() const;

    const TIdMessage& m_message;
    THeaderEncoder m_encoder;
    QDateTime m_now;
    bool m_prepared = false;
    std::vector<std::unique_ptr<QFile>> m_files;
    // The bytes each part carries, fixed when the files are opened, so that size()
    // and write() agree and a file that shrinks in between is found.
    std::vector<qint64> m_lengths;
};
