#include "transport/IdAttachment.h"

#include <QFileInfo>

QString TIdAttachment::FileName() const
{
    return PartName.isEmpty() ? QFileInfo(StoredPathName).fileName() : PartName;
}
