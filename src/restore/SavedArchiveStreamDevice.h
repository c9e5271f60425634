#pragma once

#include <QByteArray>
#include <QIODevice>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class SavedArchiveStream;

// The write end a mailbox download writes the archive into. Each write is handed to
// a thread of its own that feeds the stream reader, so that decrypting, checking and
// writing the file run beside the download and its decoding rather than after them;
// at most a few chunks wait between the two. A refusal (or the sink's failure) fails
// a later write, which ends the download; its reason is kept in refusal().
// finishWrites() waits until every write has reached the reader: call it before
// finishing the stream or asking why a download ended.
class SavedArchiveStreamDevice : public QIODevice
{
public:
    explicit SavedArchiveStreamDevice(SavedArchiveStream& stream);
    ~SavedArchiveStreamDevice() override;

    bool isSequential() const override { return true; }
    void finishWrites();
    const QString& refusal() const { return m_refusal; }
    // Bytes taken so far (some may still wait for the reader until finishWrites()).
    qint64 fed() const { return m_fed; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    void feedInOrder();
    void takeRefusal();

    SavedArchiveStream& m_stream;
    QString m_refusal;
    qint64 m_fed = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_waiting;
    bool m_feeding = false;
    bool m_closing = false;
    QString m_workerRefusal;
    std::thread m_worker;
};
