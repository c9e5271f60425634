#include "core/WholeWrite.h"

#include <QIODevice>

bool writeWhole(QIODevice& device, const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 written = device.write(data + done, size - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}
