#include "ui/EditionPicture.h"

#include <QPainter>
#include <QSvgRenderer>

static void loadIconResources()
{
    // The drawings live in a static library: register them explicitly (outside any
    // namespace, as the resource macro requires).
    Q_INIT_RESOURCE(icons);
}

namespace EditionPicture {

QString resource(Edition edition)
{
    return QStringLiteral(":/icons/%1.svg").arg(editionProfile(edition).name.toLower());
}

QPixmap pixmap(Edition edition, int size)
{
    loadIconResources();
    // Rendered by the SVG library itself rather than an image plugin, so the picture
    // never depends on which plugins the installed Qt happens to carry.
    QSvgRenderer renderer(resource(edition));
    if (!renderer.isValid())
        return {};
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    renderer.render(&painter);
    return picture;
}

QIcon icon(Edition edition)
{
    QIcon icon;
    for (const int size : {16, 22, 32, 48, 64, 128, 256})
        icon.addPixmap(pixmap(edition, size));
    return icon;
}

} // namespace EditionPicture
