#include "transport/IdAttachment.h"

#include <QFileInfo>

QString TIdAttachment::FileName() const
{
    return QFileInfo(StoredPathName).fileName();
}
