#include "backupdata/CacheDirTag.h"

#include "backupdata/FolderListing.h"

#include <QByteArrayView>
#include <QFile>

namespace {

constexpr QByteArrayView signature = "Signature: 8a477f597d28d172789f06886806bc55";

} // namespace

bool CacheDirTag::isTagged(const QString& folder)
{
    QFile tag(joinFolderPath(folder, QLatin1StringView(fileName)));
    if (!tag.open(QIODevice::ReadOnly))
        return false;
    return tag.read(signature.size()) == signature;
}
