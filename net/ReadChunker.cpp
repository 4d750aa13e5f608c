#include "ReadChunker.h"

namespace net {

ReadChunker::ReadChunker(qsizetype chunkSize)
    : m_chunkSize(chunkSize)
{ }

void ReadChunker::feed(qsizetype count, QList<qsizetype>& reads)
{
    m_pending += count;
    while (m_pending >= m_chunkSize) {
        reads.append(m_chunkSize);
        m_pending -= m_chunkSize;
    }
}

void ReadChunker::finish(QList<qsizetype>& reads)
{
    if (m_pending > 0)
        reads.append(m_pending);
    m_pending = 0;
    reads.append(0);
}

} // namespace net
