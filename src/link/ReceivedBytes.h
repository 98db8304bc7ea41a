#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>

// The bytes received since the buffer was last emptied, bounded so that a device that never
// stops talking cannot grow it without end: past kCapacity the oldest bytes give way.
// Every append also says what it cut and added, so the monitor can follow in time proportional
// to the change rather than to the buffer. A mark sets apart the bytes that come after it.
class ReceivedBytes
{
public:
    static constexpr qsizetype kCapacity = 32767;

    struct Change
    {
        qsizetype cutRenderedLength = 0; // monitor characters of the bytes that gave way
        QByteArrayView added;            // valid until the next change of the buffer
    };

    Change append(QByteArrayView bytes);
    void clear();
    // The bytes appended from now on are those after the mark.
    void mark() { m_mark = m_data.size(); }

    bool isEmpty() const { return size() == 0; }
    qsizetype size() const { return m_data.size() - m_start; }
    QByteArrayView bytes() const { return QByteArrayView(m_data).sliced(m_start); }
    // What is left of the bytes appended after the mark: all of them unless the bound cut into them.
    QByteArrayView afterMark() const { return QByteArrayView(m_data).sliced(std::max(m_mark, m_start)); }

    const Change &lastChange() const { return m_lastChange; }

private:
    QByteArray m_data;
    qsizetype m_start = 0; // bytes before this have given way; compacted once they outweigh the rest
    qsizetype m_mark = 0;  // in m_data, as m_start
    Change m_lastChange;
};
