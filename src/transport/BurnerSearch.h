#pragma once

#include "transport/DiscWriter.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

// A disc burner as xorriso lists it: the device it is written through ("/dev/sr0"),
// and its maker and model.
struct BurnerDevice
{
    QString device;
    QString description;
};

// Lists the burners xorriso finds ("-devices") on a thread of its own, since a scan
// of the drives may take seconds; the list arrives as found() on the thread that
// started the search.
class BurnerSearch : public QObject
{
    Q_OBJECT
public:
    explicit BurnerSearch(QObject* parent = nullptr);

    // The writer the search runs; the real xorriso unless set.
    void setDiscWriter(std::shared_ptr<DiscWriter> writer) { m_writer = std::move(writer); }
    // Starts a search, unless one is running.
    void start();
    bool running() const { return m_running; }

    // The burners in the output of "xorriso -devices"; none when it found none or
    // could not be run.
    static QList<BurnerDevice> parse(const QString& output);
    // A name as xorriso quotes it ('"'"' for a quote inside), without that quoting.
    static QString unquoted(QString name);

Q_SIGNALS:
    void found(const QList<BurnerDevice>& burners);

private:
    std::shared_ptr<DiscWriter> m_writer;
    bool m_running = false;
};
