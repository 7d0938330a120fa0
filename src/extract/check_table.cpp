#include "extract/check_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <system_error>
#include <thread>

#include "extract/two_cores.h"

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
    std::vector<std::uint32_t> from = order.sortedOrder(m_entries);
    const std::vector<TextSpan> &source = m_entries.spans();
    qsizetype size = 0;
    for (const TextSpan &s : source)
        size += s.length;
    // The new buffer's pages are only touched when the texts are copied, after the old spans
    // are gone.
    QString buffer = UninitializedText(size);
    std::vector<std::uint64_t> marks(word(m_entries.size()) + 1, 0);
    // The spans in sorted order, still pointing into the old buffer.
    std::vector<TextSpan> spans = HugePageVector<TextSpan>(n);
    for (std::size_t to = 0; to < n; ++to) {
        const std::uint32_t index = from[to];
        spans[to] = source[index];
        if (isChecked(index))
            marks[word(static_cast<qsizetype>(to))] |= bit(static_cast<qsizetype>(to));
    }
    from = std::vector<std::uint32_t>();

    // Nothing below fails.
    const QString old = m_entries.takeBuffer();
    m_entries.takeSpans();
    qsizetype secondHalfAt = 0;
    for (std::size_t to = 0; to < n / 2; ++to)
        secondHalfAt += spans[to].length;
    QChar *out = buffer.data();
    const QChar *in = old.constData();
    const auto copy = [&](std::size_t first, std::size_t last, qsizetype at) {
        for (std::size_t to = first; to < last; ++to) {
            TextSpan &place = spans[to];
            std::memcpy(out + at, in + place.offset,
                        static_cast<std::size_t>(place.length) * sizeof(QChar));
            place.offset = at;
            at += place.length;
        }
    };
    // Each core copies half of the texts; without a second thread, this one copies them all.
    std::thread helper;
    try {
        helper = std::thread(copy, n / 2, n, secondHalfAt);
    } catch (const std::system_error &) {
    }
    copy(0, helper.joinable() ? n / 2 : n, 0);
    if (helper.joinable())
        helper.join();
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
        std::thread helper(fill, half, n, secondHalfAt);
        fill(0, half, 0);
        helper.join();
    } else {
        fill(0, n, 0);
    }
    return joined;
}

namespace {

// The UTF-8 length of [text, text + n); a surrogate counts two bytes, so that a pair counts four.
qsizetype utf8Length(const char16_t *text, qsizetype n)
{
    qsizetype length = n;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i];
        length += (c >= 0x80) + (c >= 0x800 && (c < 0xd800 || c > 0xdfff));
    }
    return length;
}

// Writes [text, text + n) in UTF-8 from `out` on and returns the end; null at a lone surrogate.
char *putUtf8(const char16_t *text, qsizetype n, char *out)
{
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *out++ = static_cast<char>(0xc0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0xd800 || c > 0xdfff) {
            *out++ = static_cast<char>(0xe0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            *out++ = static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0xdc00 && i + 1 < n && text[i + 1] >= 0xdc00 && text[i + 1] <= 0xdfff) {
            const char32_t u = QChar::surrogateToUcs4(c, text[++i]);
            *out++ = static_cast<char>(0xf0 | (u >> 18));
            *out++ = static_cast<char>(0x80 | ((u >> 12) & 0x3f));
            *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3f));
            *out++ = static_cast<char>(0x80 | (u & 0x3f));
        } else {
            return nullptr;
        }
    }
    return out;
}

} // namespace

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
            length += utf8Length(in + spans[i].offset, spans[i].length) + 2;
        lengths[part] = length;
    };
    QByteArray utf8;
    const auto write = [&](int part) {
        char *out = utf8.data() + (part == 0 ? 0 : lengths[0]);
        for (std::size_t i = part == 0 ? 0 : half; i < (part == 0 ? half : n); ++i) {
            out = putUtf8(in + spans[i].offset, spans[i].length, out);
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
