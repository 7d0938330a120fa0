#include "formats/byte_source.h"

#include <algorithm>
#include <cstring>

QByteArrayView PeekableSource::peek(std::size_t size)
{
    while (!m_ended && static_cast<std::size_t>(m_head.size()) < size) {
        const qsizetype had = m_head.size();
        m_head.resize(static_cast<qsizetype>(size));
        const std::size_t got =
            m_inner.read(m_head.data() + had, size - static_cast<std::size_t>(had));
        m_head.truncate(had + static_cast<qsizetype>(got));
        m_ended = got == 0;
    }
    return QByteArrayView(m_head).first(std::min(static_cast<qsizetype>(size), m_head.size()));
}

std::size_t PeekableSource::read(char *buffer, std::size_t size)
{
    const std::size_t held = static_cast<std::size_t>(m_head.size()) - m_used;
    if (held > 0) {
        const std::size_t n = std::min(size, held);
        std::memcpy(buffer, m_head.constData() + m_used, n);
        m_used += n;
        if (m_used == static_cast<std::size_t>(m_head.size())) {
            m_head = QByteArray();
            m_used = 0;
        }
        return n;
    }
    return m_ended ? 0 : m_inner.read(buffer, size);
}
