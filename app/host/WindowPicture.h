#pragma once

#include <QPixmap>

class QWidget;

namespace tesr::host {

// A picture of a shown window as the user sees it. On a desktop with a window manager that is
// the framed window, taken from the screen once the manager has framed it and the window has
// painted; elsewhere (offscreen, no manager) the window's own drawing.
QPixmap windowPicture(QWidget& window);

} // namespace tesr::host
