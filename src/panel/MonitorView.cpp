#include "MonitorView.h"

#include "Layout.h"
#include "LayoutBuilder.h"
#include "PanelButton.h"
#include "wire/Text.h"

MonitorView::MonitorView(QWidget *window, int dpi)
    : QObject(window)
    , m_window(window)
    , m_command34(window->findChild<PanelButton *>(QStringLiteral("Command34")))
    , m_dpi(dpi)
{
    Q_ASSERT(m_command34);
    for (const layout::Control &c : layout::kControls) {
        if ((c.kind != layout::Kind::Button && c.kind != layout::Kind::Option) || !c.container.empty()
            || c.top < layout::kClosedDepth)
            continue;
        auto *w = window->findChild<QWidget *>(qstring(c.name));
        Q_ASSERT(w);
        if (w != m_command34)
            m_cutOff.append(w);
    }
}

void MonitorView::setDepth(int twips)
{
    m_window->setFixedHeight(layout::toPixels(twips, m_dpi));
    // What the closed view cuts off, Tab passes by, so that Space cannot act on what no one sees.
    // The view button keeps its place: it is the keyboard's way to open the view.
    const bool open = isOpen();
    for (QWidget *w : std::as_const(m_cutOff)) {
        w->setFocusPolicy(open ? Qt::StrongFocus : Qt::NoFocus);
        if (!open && w->hasFocus())
            m_command34->setFocus();
    }
}

bool MonitorView::isOpen() const
{
    return m_window->height() >= layout::toPixels(layout::kOpenThreshold, m_dpi);
}

void MonitorView::openInFull()
{
    setDepth(layout::kFullDepth);
    m_command34->setText(qstring(layout::kCloseCaption));
    m_command34->show();
}

void MonitorView::Command34_Click()
{
    if (isOpen()) {
        setDepth(layout::kClosedDepth);
        m_command34->setText(qstring(layout::find("Command34")->caption));
    } else {
        setDepth(layout::kIntermediateDepth);
        m_command34->setText(qstring(layout::kHideDataCaption));
    }
    emit toggled();
}
