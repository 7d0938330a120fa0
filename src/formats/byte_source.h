#pragma once

#include <cstddef>

#include <QByteArray>
#include <QByteArrayView>

// Where an input's bytes come from, read front to back once: a file, standard input, a pipe, a
// member of an archive, the output of a decompressor. It never seeks and never knows its size
// in advance, so nothing that reads through it holds more than a piece at a time.
class ByteSource
{
public:
    virtual ~ByteSource() = default;

    // Reads up to `size` bytes into `buffer` and returns how many; 0 only at the end. Raises an
    // AppError naming the input when the bytes cannot be read.
    virtual std::size_t read(char *buffer, std::size_t size) = 0;
};

// A source whose first bytes can be looked at before they are read, to tell what they carry.
class PeekableSource : public ByteSource
{
public:
    explicit PeekableSource(ByteSource &inner) : m_inner(inner) {}

    // The first `size` bytes of the input (fewer only when it is shorter), left unread. Asking
    // again for more reads further into the head; only before the first read().
    QByteArrayView peek(std::size_t size);

    std::size_t read(char *buffer, std::size_t size) override;

private:
    ByteSource &m_inner;
    QByteArray m_head;
    std::size_t m_used = 0;
    bool m_ended = false;
};
