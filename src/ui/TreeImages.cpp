#include "ui/TreeImages.h"

#include <QApplication>
#include <QStyle>
#include <QTreeWidgetItem>

namespace {
constexpr int ImageRole = Qt::UserRole + 1;

QIcon standard(QStyle::StandardPixmap pixmap)
{
    return QApplication::style()->standardIcon(pixmap);
}
} // namespace

const QList<QIcon>& TreeImages::icons(List list)
{
    // Files and log: drive, folder, file, saved copy, archive, unknown file type.
    static const QList<QIcon> files{standard(QStyle::SP_DriveHDIcon),
                                    standard(QStyle::SP_DirIcon),
                                    standard(QStyle::SP_FileIcon),
                                    standard(QStyle::SP_DialogSaveButton),
                                    standard(QStyle::SP_FileDialogDetailedView),
                                    standard(QStyle::SP_FileIcon)};
    // Folders: drive, folder on the way, selected folder.
    static const QList<QIcon> folders{standard(QStyle::SP_DriveHDIcon),
                                      standard(QStyle::SP_DirIcon),
                                      standard(QStyle::SP_DirOpenIcon)};
    return list == List::Files ? files : folders;
}

void TreeImages::setImage(QTreeWidgetItem* item, List list, int index)
{
    item->setData(0, ImageRole, index);
    const QList<QIcon>& set = icons(list);
    item->setIcon(0, index >= 0 && index < set.size() ? set.at(index) : QIcon());
}

int TreeImages::image(const QTreeWidgetItem* item)
{
    return item->data(0, ImageRole).toInt();
}
