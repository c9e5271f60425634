#pragma once

#include "transport/DiscWriter.h"

#include <QAtomicInt>

// A disc writer that only lists burners: "-devices" prints the lines it was given,
// as xorriso would; every other run fails. Counts the listings.
class ListingDiscWriter : public DiscWriter
{
public:
    explicit ListingDiscWriter(QString devices) : m_devices(std::move(devices)) {}
    Result run(const QStringList& arguments) override
    {
        if (arguments != QStringList{QStringLiteral("-devices")})
            return {true, 1, QString()};
        listings.ref();
        return {true, 0, m_devices};
    }
    QAtomicInt listings;

private:
    QString m_devices;
};
