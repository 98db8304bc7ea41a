#include "PanelButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

constexpr Qt::MouseButtons kHoldButtons = Qt::LeftButton | Qt::RightButton | Qt::MiddleButton;

} // namespace

void PanelButton::mousePressEvent(QMouseEvent *event)
{
    if (!m_holdToRepeat || !(event->button() & kHoldButtons)) {
        QPushButton::mousePressEvent(event);
        return;
    }
    // The push button paints itself down at once; the command must not wait for that.
    emit mouseDown(event->button(), event->modifiers(), event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        QPushButton::mousePressEvent(event);
    } else {
        setDown(true);
        event->accept();
    }
}

void PanelButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_holdToRepeat || !(event->button() & kHoldButtons)) {
        QPushButton::mouseReleaseEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton)
        QPushButton::mouseReleaseEvent(event);
    else
        event->accept();
    // Down for as long as any mouse button still holds it.
    if (!(event->buttons() & kHoldButtons))
        setDown(false);
    emit mouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

void PanelButton::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void PanelButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown())
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    const bool fits = fontMetrics().horizontalAdvance(caption) <= area.width();
    painter.drawItemText(area, Qt::AlignCenter | (fits ? 0 : Qt::TextWordWrap), palette(), isEnabled(), caption,
                         QPalette::ButtonText);
}
