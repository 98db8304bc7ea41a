#include "ReceivedBytes.h"

#include "wire/Rendering.h"

namespace {

qsizetype renderedLength(QByteArrayView bytes)
{
    qsizetype length = 0;
    for (const char c : bytes)
        length += qsizetype(tolvek::renderPiece(static_cast<unsigned char>(c)).size());
    return length;
}

} // namespace

ReceivedBytes::Change ReceivedBytes::append(QByteArrayView bytes)
{
    if (bytes.size() > kCapacity)
        bytes = bytes.last(kCapacity);

    const qsizetype excess = size() + bytes.size() - kCapacity;
    qsizetype cut = 0;
    if (excess > 0) {
        cut = renderedLength(this->bytes().first(excess));
        m_start += excess;
    }
    if (m_start >= kCapacity) {
        m_data.remove(0, m_start);
        m_mark = std::max<qsizetype>(m_mark - m_start, 0);
        m_start = 0;
    }
    m_data.append(bytes);

    m_lastChange = {cut, this->bytes().last(bytes.size())};
    return m_lastChange;
}

void ReceivedBytes::clear()
{
    m_data.clear();
    m_start = 0;
    m_mark = 0;
    m_lastChange = {};
}
