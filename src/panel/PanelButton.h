#pragma once

#include <QPushButton>

// A push button of the panel. A hold-to-repeat button reports the press and the release of
// the left, right and middle mouse buttons, the press before it is painted down, so the command
// goes out first; the others act as the platform's buttons do. Enter clicks it as Space does,
// which a push button outside a dialog would not do; and a caption too wide for the face wraps
// at its spaces, as on the buttons two lines deep.
class PanelButton final : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    void setHoldToRepeat(bool hold) { m_holdToRepeat = hold; }

Q_SIGNALS:
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_holdToRepeat = false;
};
