#pragma once

#include "Layout.h"

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRect>

class QPainter;
class QWidget;

namespace layout {

// Twips to pixels at the given dots per inch.
constexpr int toPixels(int twips, int dpi)
{
    const long scaled = long(twips) * dpi;
    return int((scaled + kTwipsPerInch / 2) / kTwipsPerInch);
}
static_assert(toPixels(15, 96) == 1 && toPixels(kFullDepth, 96) == 441 && toPixels(kClosedDepth, 96) == 321);

// Where a window's frame goes so that it stands in the middle of the screen, as it would with
// the given frame size; a screen smaller than the frame gives a corner off the screen.
constexpr QPoint centredCorner(const QRect &screen, const QSize &frame)
{
    return screen.topLeft() + QPoint((screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 2);
}
static_assert(centredCorner(QRect(0, 0, 1280, 1024), QSize(618, 441)) == QPoint(331, 291));
static_assert(centredCorner(QRect(1280, 0, 1280, 1024), QSize(628, 476)) == QPoint(1606, 274)); // a second screen
static_assert(centredCorner(QRect(0, 0, 600, 400), QSize(628, 476)) == QPoint(-14, -38));

// Creates every control of the table on window, named after its row. The lines are not
// widgets: the window paints them with paintLines beneath its controls.
void build(QWidget *window, int dpi);
void paintLines(QPainter &painter, int dpi);

QFont font(FontCode code);
QPixmap logo(qreal devicePixelRatio);
QIcon applicationIcon();

} // namespace layout
