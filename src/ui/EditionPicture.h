#pragma once

#include "core/EditionProfile.h"

#include <QIcon>
#include <QPixmap>

// Each edition's own picture: the splash and About windows, the window icon and the
// desktop launcher show the same drawing, bundled with the program as SVG.
namespace EditionPicture {

// The resource of the drawing, ":/icons/kestrelsolo.svg" and so on; the launchers
// install the same file under the edition's executable name.
QString resource(Edition edition);
// The drawing rendered square at the given size; a null pixmap when it cannot be drawn.
QPixmap pixmap(Edition edition, int size);
// The window icon: the drawing at the sizes desktops ask for.
QIcon icon(Edition edition);

} // namespace EditionPicture
