#pragma once

#include <QIODevice>

class SavedArchiveStream;

// The write end a mailbox download writes the archive into: each write goes on to
// the stream reader. A refusal (or the sink's failure) fails the write, which ends
// the download; its reason is kept in refusal().
class SavedArchiveStreamDevice : public QIODevice
{
public:
    explicit SavedArchiveStreamDevice(SavedArchiveStream& stream);

    bool isSequential() const override { return true; }
    const QString& refusal() const { return m_refusal; }
    qint64 fed() const { return m_fed; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    SavedArchiveStream& m_stream;
    QString m_refusal;
    qint64 m_fed = 0;
};
