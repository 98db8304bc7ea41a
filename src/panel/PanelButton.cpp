#include "PanelButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

constexpr Qt::MouseButtons kHoldButtons = Qt::LeftButton | Qt::RightButton | Qt::MiddleButton;

// The keyboard's repeat releases a held key and presses it again at one moment. The platform
// does not always mark the pair as a repeat, and the press can come a little after the release:
// a release counts once this has passed with no press of its moment, or before a repeat is sent.
constexpr std::chrono::milliseconds kRepeatPairGap{20};

// The focus frame: a band in the text's colour, this far inside the control's edge.
constexpr int kFocusFramePixels = 2;
constexpr int kButtonFrameInset = 2; // clear of the button's own edge

// Whether the focus frame shows; the style's own focus mark is taken off either way.
bool takeFocus(QStyleOptionButton &option)
{
    const bool shown = option.state & QStyle::State_HasFocus && option.state & QStyle::State_KeyboardFocusChange;
    option.state &= ~QStyle::State_HasFocus;
    return shown;
}

// Drawn, as the platform's own mark is, once the keyboard has moved the focus in the window.
void drawFocusFrame(QPainter &painter, const QWidget &control, int inset)
{
    const QRect r = control.rect().adjusted(inset, inset, -inset, -inset);
    const QColor colour = control.palette().color(control.foregroundRole());
    const int band = kFocusFramePixels;
    painter.fillRect(QRect(r.left(), r.top(), r.width(), band), colour);
    painter.fillRect(QRect(r.left(), r.bottom() - band + 1, r.width(), band), colour);
    painter.fillRect(QRect(r.left(), r.top(), band, r.height()), colour);
    painter.fillRect(QRect(r.right() - band + 1, r.top(), band, r.height()), colour);
}

} // namespace

void PanelButton::setHoldToRepeat(const TimerFactory &makeTimer)
{
    m_spaceRelease = makeTimer(this);
    m_spaceRelease->setInterval(kRepeatPairGap);
    connect(m_spaceRelease, &Timer::timeout, this, &PanelButton::releaseSpace);
}

void PanelButton::tap()
{
    const int ended = m_holdsEnded;
    emit holdPressed();
    if (m_holdsEnded == ended)
        emit holdReleased();
}

void PanelButton::endHold()
{
    ++m_holdsEnded;
    m_heldBySpace = false;
    m_spaceUpAt.reset();
    if (m_spaceRelease)
        m_spaceRelease->stop();
    setDown(false);
}

void PanelButton::settleRelease()
{
    if (m_spaceUpAt)
        releaseSpace();
}

void PanelButton::releaseSpace()
{
    m_spaceRelease->stop();
    m_spaceUpAt.reset();
    if (std::exchange(m_heldBySpace, false)) {
        setDown(false);
        emit holdReleased();
    }
}

void PanelButton::mousePressEvent(QMouseEvent *event)
{
    if (!holdsToRepeat() || !(event->button() & kHoldButtons)) {
        QPushButton::mousePressEvent(event);
        return;
    }
    // The push button paints itself down at once; the command must not wait for that.
    const int ended = m_holdsEnded;
    emit holdPressed();
    if (m_holdsEnded != ended)
        event->accept();
    else if (event->button() == Qt::LeftButton)
        QPushButton::mousePressEvent(event);
    else {
        setDown(true);
        event->accept();
    }
}

void PanelButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (!holdsToRepeat() || !(event->button() & kHoldButtons)) {
        QPushButton::mouseReleaseEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton)
        QPushButton::mouseReleaseEvent(event);
    else
        event->accept();
    // Down for as long as anything still holds it.
    if (!(event->buttons() & kHoldButtons) && !m_heldBySpace)
        setDown(false);
    emit holdReleased();
}

void PanelButton::keyPressEvent(QKeyEvent *event)
{
    if (holdsToRepeat() && event->key() == Qt::Key_Space) {
        event->accept();
        if (m_spaceUpAt && *m_spaceUpAt == event->timestamp()) { // the repeat: its release came first
            m_spaceRelease->stop();
            m_spaceUpAt.reset();
            return;
        }
        if (event->isAutoRepeat())
            return;
        if (m_spaceUpAt) // pressed anew
            releaseSpace();
        if (!m_heldBySpace) {
            m_heldBySpace = true;
            emit holdPressed();
            setDown(m_heldBySpace); // a failed press has ended it already
        }
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void PanelButton::keyReleaseEvent(QKeyEvent *event)
{
    if (holdsToRepeat() && event->key() == Qt::Key_Space) {
        event->accept();
        if (!event->isAutoRepeat() && m_heldBySpace && !m_spaceUpAt) {
            m_spaceUpAt = event->timestamp();
            m_spaceRelease->start();
        }
        return;
    }
    QPushButton::keyReleaseEvent(event);
}

void PanelButton::focusOutEvent(QFocusEvent *event)
{
    // Space's release now goes elsewhere, so a hold by it would never end.
    if (holdsToRepeat())
        releaseSpace();
    QPushButton::focusOutEvent(event);
}

void PanelButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const bool focusFrame = takeFocus(option);
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
    if (focusFrame)
        drawFocusFrame(painter, *this, kButtonFrameInset);
}

void PanelOption::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const bool focusFrame = takeFocus(option);
    painter.drawControl(QStyle::CE_RadioButton, option);
    if (focusFrame)
        drawFocusFrame(painter, *this, 0);
}
