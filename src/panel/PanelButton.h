#pragma once

#include "link/Timer.h"

#include <QPushButton>
#include <QRadioButton>

#include <optional>

// A push button of the panel. A hold-to-repeat button is held by the left, right or middle mouse
// button, or by Space while it has the focus: it reports each press before it is painted down,
// so the command goes out first, and each release. The keyboard's own repeat neither presses nor
// releases it, and losing the focus releases Space's hold. The others act as the platform's
// buttons do. Enter clicks it as Space does, which a push button outside a dialog would not do;
// and a caption too wide for the face wraps at its spaces, as on the buttons two lines deep. The
// control with the keyboard's focus wears a frame in its text's colour, plain on every face,
// where the platform's own mark can be a one-pixel shade.
class PanelButton final : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    // Makes it a hold-to-repeat button; the timer waits out the keyboard's repeat.
    void setHoldToRepeat(const TimerFactory &makeTimer);
    bool holdsToRepeat() const { return m_spaceRelease != nullptr; }

    // A press and its release at once, as a short click: a screen reader's Press.
    void tap();
    // The hold has ended with no release seen, as when a failed send's box takes the release:
    // drawn up, and not drawn down by the press that is still being handled.
    void endHold();
    // Space's release, should it be waiting to prove no repeat, counts now: the hold's next
    // repeat is about to go out.
    void settleRelease();

Q_SIGNALS:
    void holdPressed();
    void holdReleased();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void releaseSpace();

    Timer *m_spaceRelease = nullptr;
    bool m_heldBySpace = false;
    std::optional<quint64> m_spaceUpAt; // a release of Space that may be the keyboard's repeat
    int m_holdsEnded = 0;               // endHold's calls
};

// An option button of the panel, with the push buttons' focus frame.
class PanelOption final : public QRadioButton
{
    Q_OBJECT

public:
    using QRadioButton::QRadioButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};
