#include "PanelButton.h"

#include <QKeyEvent>
#include <QMouseEvent>

void PanelButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        QPushButton::mousePressEvent(event);
    } else {
        // Look pressed for the other buttons too; the click stays the left button's.
        setDown(true);
        event->accept();
    }
    emit mouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void PanelButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        QPushButton::mouseReleaseEvent(event);
    } else {
        if (!(event->buttons() & Qt::LeftButton))
            setDown(false);
        event->accept();
    }
    if (!(event->buttons() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton)))
        setDown(false);
    emit mouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

void PanelButton::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()
        && event->modifiers() == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}
