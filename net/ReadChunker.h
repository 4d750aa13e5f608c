#pragma once

#include <QList>

namespace net {

/// Cuts a body, as the transfer delivers it, into the reads a blocking read into a buffer of chunkSize bytes
/// would return: full buffers while data keeps coming, then what is left, then the empty read that ends it.
/// How the network happened to split the bytes does not show.
class ReadChunker
{
public:
    explicit ReadChunker(qsizetype chunkSize);

    qsizetype chunkSize() const { return m_chunkSize; }

    /// Takes count more bytes; appends the sizes of the reads they complete to reads.
    void feed(qsizetype count, QList<qsizetype>& reads);

    /// Ends the body: appends the short read of what is left, if anything, and the final empty read.
    void finish(QList<qsizetype>& reads);

private:
    qsizetype m_chunkSize;
    qsizetype m_pending = 0;
};

} // namespace net
