#pragma once

#include <QIcon>
#include <QList>

class QTreeWidgetItem;

// The image lists of the three trees. A node remembers its image index (the tests
// and the removal rules read it back), and shows the icon at that index.
class TreeImages
{
public:
    enum class List
    {
        Files,
        Folders
    }; // imlFiles (files and log trees), imlFolders

    static void setImage(QTreeWidgetItem* item, List list, int index);
    static int image(const QTreeWidgetItem* item);

private:
    static const QList<QIcon>& icons(List list);
};
