#include "extract/check_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <span>

#include "platform/big_memory.h"
#include "platform/parallel.h"
#include "text/utf8.h"

CheckTable::CheckTable(TextTable entries)
    : m_entries(std::move(entries)), m_marks(word(m_entries.size()) + 1, 0)
{}

void CheckTable::setChecked(qsizetype index, bool checked)
{
    if (checked)
        m_marks[word(index)] |= bit(index);
    else
        m_marks[word(index)] &= ~bit(index);
}

qsizetype CheckTable::checkedCount() const
{
    qsizetype count = 0;
    for (std::uint64_t w : m_marks)
        count += std::popcount(w);
    return count;
}

qsizetype CheckTable::append(QStringView text)
{
    const qsizetype row = m_entries.size();
    if (word(row + 1) >= m_marks.size())
        m_marks.push_back(0);
    if (text.data() >= m_entries.buffer().constData() &&
        text.data() < m_entries.buffer().constData() + m_entries.buffer().size())
        m_entries.append(text.toString()); // appending may move the buffer it views
    else
        m_entries.append(text);
    return row;
}

qsizetype CheckTable::sortedPlace(QStringView text, const TextOrder &order) const
{
    qsizetype low = 0;
    qsizetype high = m_entries.size();
    while (low < high) {
        const qsizetype middle = low + (high - low) / 2;
        if (order.compare(text, m_entries.at(middle)) < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

qsizetype CheckTable::insertSorted(QStringView text, const TextOrder &order)
{
    const qsizetype row = sortedPlace(text, order);
    insert(row, text);
    return row;
}

void CheckTable::insert(qsizetype index, QStringView text)
{
    const qsizetype n = m_entries.size();
    if (index == n) {
        append(text);
        return;
    }
    // The buffer stays in table order: rebuild it with the new entry at its place.
    TextTable rebuilt;
    rebuilt.reserve(n + 1, m_entries.buffer().size() + text.size());
    std::vector<std::uint64_t> marks(word(n + 1) + 1, 0);
    for (qsizetype i = 0; i < n; ++i) {
        if (i == index)
            rebuilt.append(text);
        if (isChecked(i))
            marks[word(rebuilt.size())] |= bit(rebuilt.size());
        rebuilt.append(m_entries.at(i));
    }
    m_entries = std::move(rebuilt);
    m_marks = std::move(marks);
}

void CheckTable::sort(const TextOrder &order)
{
    const auto n = static_cast<std::size_t>(m_entries.size());
    if (n < 2)
        return;
    const std::vector<TextSpan> &source = m_entries.spans();
    qsizetype size = 0;
    for (const TextSpan &s : source)
        size += s.length;
    // The new buffer and spans, the order and the sort's own working room of a few words an
    // entry: refused before anything is taken, rather than the system ending the program.
    constexpr std::size_t perEntry = sizeof(TextSpan) + sizeof(std::uint32_t) + 24;
    if (!MemoryFits(static_cast<std::size_t>(size) * sizeof(QChar) + n * perEntry))
        throw std::bad_alloc();
    // The sort works in the new buffer's room, whose pages it so touches first: the texts are
    // copied over its working arrays once it is done.
    QString buffer = UninitializedText(size);
    std::vector<std::uint32_t> from =
        order.sortedOrder(m_entries, std::as_writable_bytes(std::span(buffer.data(), size)));
    std::vector<std::uint64_t> marks(word(m_entries.size()) + 1, 0);
    // The spans in sorted order, still pointing into the old buffer. They are gathered in the
    // new buffer's room when it is wide enough, then written over the old list, so that no
    // second list is made; otherwise into a new list, whose fresh pages push_back writes once.
    // The reads are scattered: those of the entries a little ahead are asked for early, here and
    // in the copy below, so that many are under way at once.
    constexpr std::size_t ahead = 16;
    std::vector<TextSpan> spans;
    TextSpan *gathered = nullptr;
    // In the middle of the room, where the sort has touched the pages already.
    std::size_t roomBytes = static_cast<std::size_t>(size) * sizeof(QChar);
    const std::size_t need = n * sizeof(TextSpan) + alignof(TextSpan);
    const std::size_t margin = roomBytes > need ? (roomBytes - need) / 2 : 0;
    void *room = reinterpret_cast<std::byte *>(buffer.data()) + margin;
    roomBytes -= margin;
    if (std::align(alignof(TextSpan), n * sizeof(TextSpan), room, roomBytes)) {
        gathered = static_cast<TextSpan *>(room);
    } else {
        spans.reserve(n);
        AdviseHugePages(spans.data(), n * sizeof(TextSpan));
    }
    for (std::size_t to = 0; to < n; ++to) {
        if (to + ahead < n)
            __builtin_prefetch(&source[from[to + ahead]]);
        const std::uint32_t index = from[to];
        if (gathered)
            new (gathered + to) TextSpan(source[index]);
        else
            spans.push_back(source[index]);
        if (isChecked(index))
            marks[word(static_cast<qsizetype>(to))] |= bit(static_cast<qsizetype>(to));
    }
    from = std::vector<std::uint32_t>();

    // Nothing below fails.
    const QString old = m_entries.takeBuffer();
    if (gathered) {
        spans = m_entries.takeSpans();
        std::copy(gathered, gathered + n, spans.begin());
    } else {
        m_entries.takeSpans();
    }
    qsizetype secondHalfAt = 0;
    for (std::size_t to = 0; to < n / 2; ++to)
        secondHalfAt += spans[to].length;
    QChar *out = buffer.data();
    const QChar *in = old.constData();
    const auto copy = [&](std::size_t first, std::size_t last, qsizetype at) {
        for (std::size_t to = first; to < last; ++to) {
            if (to + ahead < last) {
                const TextSpan &later = spans[to + ahead];
                __builtin_prefetch(in + later.offset);
                __builtin_prefetch(in + later.offset + std::max(later.length, 1) - 1);
            }
            TextSpan &place = spans[to];
            std::memcpy(out + at, in + place.offset,
                        static_cast<std::size_t>(place.length) * sizeof(QChar));
            place.offset = at;
            at += place.length;
        }
    };
    // Each core copies half of the texts. A half either is copied whole or not at all, so that
    // one a helper could not copy is copied here: the table must not be left half built.
    bool copied[2] = {false, false};
    const auto copyHalf = [&](int part) {
        if (part == 0)
            copy(0, n / 2, 0);
        else
            copy(n / 2, n, secondHalfAt);
        copied[part] = true;
    };
    try {
        RunOnTwoCores(copyHalf);
    } catch (...) {
        for (int part = 0; part < 2; ++part) {
            if (!copied[part])
                copyHalf(part);
        }
    }
    m_entries = TextTable(std::move(buffer), std::move(spans));
    m_marks = std::move(marks);
}

QString CheckTable::text() const
{
    const std::vector<TextSpan> &spans = m_entries.spans();
    const std::size_t n = spans.size();
    const std::size_t half = n / 2;
    qsizetype total = 0;
    qsizetype secondHalfAt = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i == half)
            secondHalfAt = total;
        total += spans[i].length + 2;
    }
    QString joined = UninitializedText(total);
    QChar *out = joined.data();
    const QChar *in = m_entries.buffer().constData();
    const auto fill = [&](std::size_t first, std::size_t last, qsizetype at) {
        for (std::size_t i = first; i < last; ++i) {
            const TextSpan &s = spans[i];
            std::memcpy(out + at, in + s.offset,
                        static_cast<std::size_t>(s.length) * sizeof(QChar));
            at += s.length;
            out[at++] = u'\r';
            out[at++] = u'\n';
        }
    };
    // Millions of entries: each core writes half of the text.
    if (n >= 1 << 16) {
        RunOnTwoCores([&](int part) {
            if (part == 0)
                fill(0, half, 0);
            else
                fill(half, n, secondHalfAt);
        });
    } else {
        fill(0, n, 0);
    }
    return joined;
}

std::optional<QByteArray> CheckTable::utf8Text() const
{
    const std::vector<TextSpan> &spans = m_entries.spans();
    const auto *in = reinterpret_cast<const char16_t *>(m_entries.buffer().constData());
    const std::size_t n = spans.size();
    const std::size_t half = n / 2;
    // Each core measures, then writes, half of the entries.
    qsizetype lengths[2] = {0, 0};
    bool lone[2] = {false, false};
    const auto measure = [&](int part) {
        qsizetype length = 0;
        for (std::size_t i = part == 0 ? 0 : half; i < (part == 0 ? half : n); ++i)
            length += Utf8Length(QStringView(in + spans[i].offset, spans[i].length)) + 2;
        lengths[part] = length;
    };
    QByteArray utf8;
    const auto write = [&](int part) {
        char *out = utf8.data() + (part == 0 ? 0 : lengths[0]);
        for (std::size_t i = part == 0 ? 0 : half; i < (part == 0 ? half : n); ++i) {
            out = PutUtf8(out, QStringView(in + spans[i].offset, spans[i].length),
                          LoneSurrogate::Refuse);
            if (!out) {
                lone[part] = true;
                return;
            }
            *out++ = '\r';
            *out++ = '\n';
        }
    };
    const bool two = n >= 1 << 16;
    const auto onEachHalf = [&](const auto &work) {
        if (two) {
            RunOnTwoCores(work);
        } else {
            work(0);
            work(1);
        }
    };
    onEachHalf(measure);
    utf8 = QByteArray(lengths[0] + lengths[1], Qt::Uninitialized);
    AdviseHugePages(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    onEachHalf(write);
    if (lone[0] || lone[1])
        return std::nullopt;
    return utf8;
}

QString CheckTable::checkedText() const
{
    QString joined;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (!isChecked(i))
            continue;
        if (joined.isEmpty()) {
            joined = m_entries.at(i).toString();
        } else {
            joined.append(u"\r\n");
            joined.append(m_entries.at(i));
        }
    }
    return joined;
}
