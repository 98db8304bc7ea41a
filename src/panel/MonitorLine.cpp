#include "MonitorLine.h"

#include <QAccessible>
#include <QPainter>
#include <QTimerEvent>

MonitorLine::MonitorLine(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
}

QString MonitorLine::text() const
{
    return m_start == 0 ? m_text : m_text.sliced(m_start);
}

void MonitorLine::setText(const QString &text)
{
    m_text = text;
    m_start = 0;
    changed();
}

void MonitorLine::edit(qsizetype position, qsizetype count, const QString &added)
{
    const qsizetype length = m_text.size() - m_start;
    position = std::clamp<qsizetype>(position, 0, length);
    count = std::clamp<qsizetype>(count, 0, length - position);
    if (count == 0 && added.isEmpty())
        return;
    // Slide the kept head forward over the cut instead of moving the long tail back.
    if (count > 0)
        for (qsizetype i = position - 1; i >= 0; --i)
            m_text[m_start + i + count] = m_text[m_start + i];
    m_start += count;
    if (m_start > m_text.size() - m_start) {
        m_text.remove(0, m_start);
        m_start = 0;
    }
    m_text.append(added);
    changed();
}

void MonitorLine::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void MonitorLine::changed()
{
    // Bytes can come in one at a time at line speed. While the monitor area is closed the line
    // lies outside the window and opening the area paints it afresh; while it is open, one
    // repaint a frame shows every change, where one a byte would cost a fifth of a core.
    const QWidget *top = window();
    if (!m_repaint.isActive() && QRect(mapTo(top, QPoint(0, 0)), size()).intersects(top->rect()))
        m_repaint.start(int(kFrame.count()), this);
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void MonitorLine::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_repaint.timerId()) {
        QFrame::timerEvent(event);
        return;
    }
    m_repaint.stop();
    update();
}

void MonitorLine::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(1, 0, -1, 0);
    // Enough characters to fill the width even if all were the narrowest.
    const int narrowest = std::max(1, fontMetrics().horizontalAdvance(u'i'));
    const qsizetype fits = area.width() / narrowest + 2;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, int(m_alignment) | Qt::TextSingleLine,
                     textView().first(std::min(fits, textView().size())).toString());
}
