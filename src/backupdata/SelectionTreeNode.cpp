#include "backupdata/SelectionTreeNode.h"

QStringList selectionPathComponents(const QString& path)
{
    QStringList components;
    if (path.startsWith(u'/'))
        components.append(QStringLiteral("/"));
    const QStringList names = path.split(u'/', Qt::SkipEmptyParts);
    components.append(names);
    return components;
}

QString joinSelectionPath(const QStringList& components)
{
    QString path;
    for (const QString& component : components) {
        if (!path.isEmpty() && !path.endsWith(u'/'))
            path.append(u'/');
        path.append(component);
    }
    return path;
}
