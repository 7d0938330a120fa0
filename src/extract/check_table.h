#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringView>

#include "extract/text_order.h"
#include "text/text_table.h"

// The entries of the check list with a check mark each. The entries are spans of one buffer
// and the marks a bit vector, so millions of entries load, sort and count without per-entry
// objects. Indexes are not checked here: callers check them against size().
class CheckTable
{
public:
    CheckTable() = default;
    // The given entries, none checked.
    explicit CheckTable(TextTable entries);

    qsizetype size() const { return m_entries.size(); }
    QStringView at(qsizetype index) const { return m_entries.at(index); }
    const TextTable &entries() const { return m_entries; }
    // Hands the entries over, leaving the table empty.
    TextTable takeEntries() &&
    {
        m_marks.assign(1, 0);
        return std::move(m_entries);
    }

    bool isChecked(qsizetype index) const { return (m_marks[word(index)] & bit(index)) != 0; }
    void setChecked(qsizetype index, bool checked);
    void toggle(qsizetype index) { m_marks[word(index)] ^= bit(index); }
    qsizetype checkedCount() const;

    // Adds an unchecked entry at the end, at `index`, or at its place in `order` (after the
    // entries that compare equal to it); returns its index. The text may be a view of this
    // table's buffer.
    qsizetype append(QStringView text);
    void insert(qsizetype index, QStringView text);
    qsizetype insertSorted(QStringView text, const TextOrder &order);
    // Where insertSorted puts `text`.
    qsizetype sortedPlace(QStringView text, const TextOrder &order) const;

    // Sorts the entries by `order`; each mark stays with its entry. The texts are copied to a
    // new buffer in their sorted order, so that a scan of the buffer meets them in table order.
    // Everything that may fail comes before the first change: on failure the table is as it was.
    // Raises std::bad_alloc at once when the system has not the memory the sort needs.
    void sort(const TextOrder &order);
    CheckTable sorted(const TextOrder &order) const
    {
        CheckTable copy = *this;
        copy.sort(order);
        return copy;
    }

    // Every entry followed by CR LF.
    QString text() const;
    // The same in UTF-8, built straight from the entries at half the size; none when an entry
    // holds a lone surrogate, which UTF-8 cannot carry.
    std::optional<QByteArray> utf8Text() const;
    // The checked entries joined by CR LF; an empty first gathered text takes no separator.
    QString checkedText() const;

private:
    static std::size_t word(qsizetype index) { return static_cast<std::size_t>(index) / 64; }
    static std::uint64_t bit(qsizetype index)
    {
        return std::uint64_t{1} << (static_cast<std::size_t>(index) % 64);
    }

    TextTable m_entries;
    std::vector<std::uint64_t> m_marks = std::vector<std::uint64_t>(1, 0);
};
