// The concealed monitor view: Ctrl+J opens it in full, the view button closes it or opens it
// part way. It changes nothing but the window's depth and the view button.
#include "Form1.h"

#include "Layout.h"
#include "LayoutBuilder.h"
#include "PanelButton.h"
#include "wire/Text.h"

#include <QApplication>
#include <QKeyEvent>

namespace {

constexpr int kShift = 1;
constexpr int kCtrl = 2;
constexpr int kAlt = 4;

int shiftMask(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? kShift : 0) | (modifiers & Qt::ControlModifier ? kCtrl : 0)
        | (modifiers & Qt::AltModifier ? kAlt : 0);
}

} // namespace

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // The filter sees a key press once for every widget it passes on its way up; only its
    // first stop, the widget with the focus (or the window itself), counts.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        QWidget *first = QApplication::focusWidget();
        if (!first || first->window() != this)
            first = this;
        if (watched == first) {
            const auto *key = static_cast<QKeyEvent *>(event);
            Form_KeyDown(key->key(), shiftMask(key->modifiers()));
        }
    }
    return false; // the key goes on to the control with the focus
}

void Form1::Form_KeyDown(int keyCode, int shift)
{
    if (keyCode != Qt::Key_J || (shift & (kShift | kCtrl | kAlt)) != kCtrl)
        return;
    setClientDepth(layout::kFullDepth);
    m_command34->setText(QStringLiteral("CLOSE"));
    m_command34->show();
}

bool Form1::viewOpen() const
{
    return height() >= layout::toPixels(layout::kOpenThreshold, m_dpi);
}

void Form1::Command34_Click()
{
    m_timer3->stop();
    if (viewOpen()) {
        setClientDepth(layout::kClosedDepth);
        m_command34->setText(qstring(layout::find("Command34")->caption)); // "show the data"
    } else {
        setClientDepth(layout::kIntermediateDepth);
        m_command34->setText(QStringLiteral("データを表示しない")); // "do not show the data"
    }
    m_timer3->start();
}
