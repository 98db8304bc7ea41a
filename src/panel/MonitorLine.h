#pragma once

#include <QBasicTimer>
#include <QFrame>
#include <QString>

// A one-line value field of the monitor area (TXD, RXD and the status line). Its text can be
// tens of thousands of characters long while only the first few dozen fit, so it paints just
// those, and it can be changed at both ends in time proportional to the change.
class MonitorLine final : public QFrame
{
    Q_OBJECT

public:
    explicit MonitorLine(QWidget *parent = nullptr);

    QString text() const;
    QStringView textView() const { return QStringView(m_text).sliced(m_start); }

    void setText(const QString &text);
    // Removes count characters from position, in time proportional to position, and appends
    // added at the end.
    void edit(qsizetype position, qsizetype count, const QString &added);

    void setAlignment(Qt::Alignment alignment);

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void changed();

    static constexpr std::chrono::milliseconds kFrame{16};

    QBasicTimer m_repaint;
    QString m_text;
    qsizetype m_start = 0; // characters before this are cut; compacted once they outweigh the rest
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
};
