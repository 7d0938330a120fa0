#pragma once

#include <cstddef>
#include <cstdint>

#include <QByteArrayView>
#include <QString>

// Reads a fuzzer's bytes piece by piece; every piece may be empty when the bytes run out.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_data(reinterpret_cast<const char *>(data)), m_size(qsizetype(size))
    {}

    bool atEnd() const { return m_position >= m_size; }

    uint8_t byte() { return atEnd() ? 0 : static_cast<uint8_t>(m_data[m_position++]); }

    // A piece whose length is told by the byte before it (at most 255 bytes).
    QByteArrayView piece() { return bytes(byte()); }

    QByteArrayView bytes(qsizetype count)
    {
        const qsizetype taken = std::min(count, m_size - m_position);
        const QByteArrayView view(m_data + m_position, std::max<qsizetype>(taken, 0));
        m_position += view.size();
        return view;
    }

    QByteArrayView rest() { return bytes(m_size - m_position); }

    // Pairs of bytes as UTF-16 code units, low byte first; a last odd byte is dropped.
    static QString codeUnits(QByteArrayView bytes)
    {
        QString text(bytes.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(char16_t(uint8_t(bytes[2 * i]) | (uint8_t(bytes[2 * i + 1]) << 8)));
        return text;
    }

private:
    const char *m_data;
    qsizetype m_size;
    qsizetype m_position = 0;
};

// Aborts with a message: libFuzzer keeps the input that led here.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);         \
            abort();                                                                               \
        }                                                                                          \
    } while (false)
