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
}

void MonitorView::setDepth(int twips)
{
    m_window->setFixedHeight(layout::toPixels(twips, m_dpi));
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
