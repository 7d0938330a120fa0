#include "app/address_list.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <numeric>
#include <tuple>
#include <utility>

#include "extract/list_search.h"
#include "io/text_file.h"
#include "platform/app_error.h"

namespace {

constexpr qsizetype maxEntries = std::numeric_limits<int>::max() - 1;

std::size_t word(qsizetype index)
{
    return static_cast<std::size_t>(index) / 64;
}
std::uint64_t bit(qsizetype index)
{
    return std::uint64_t{1} << (static_cast<std::size_t>(index) % 64);
}

} // namespace

AddressList::AddressList(QObject *parent)
    : QAbstractListModel(parent), m_selection(new QItemSelectionModel(this, this))
{
    // The C locale's collation compares code points and cannot ignore letter case: use the
    // language-neutral alphabetical order instead.
    QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    m_collator.setLocale(locale);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

void AddressList::checkIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw ListIndexError(QStringLiteral("Index de liste hors limites (%1)").arg(index));
}

QStringView AddressList::Items(int index) const
{
    checkIndex(index);
    return m_table.at(index);
}

bool AddressList::Checked(int index) const
{
    checkIndex(index);
    return (m_marks[word(index)] & bit(index)) != 0;
}

void AddressList::setChecked(int index, bool checked)
{
    checkIndex(index);
    if (checked)
        m_marks[word(index)] |= bit(index);
    else
        m_marks[word(index)] &= ~bit(index);
    const QModelIndex changed = this->index(index);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void AddressList::toggleChecked(int index)
{
    setChecked(index, !Checked(index));
}

int AddressList::checkedCount() const
{
    qsizetype count = 0;
    for (std::uint64_t w : m_marks)
        count += std::popcount(w);
    return static_cast<int>(count);
}

int AddressList::ItemIndex() const
{
    const QModelIndexList rows = m_selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void AddressList::Selected(int index)
{
    checkIndex(index);
    m_selection->setCurrentIndex(this->index(index), QItemSelectionModel::ClearAndSelect);
    emit scrollToRequested(index);
}

// Everything that may fail is done before the model is told of the change.
void AddressList::replaceContent(TextTable table)
{
    std::vector<std::uint64_t> marks(word(table.size()) + 1, 0);
    if (m_sorted)
        std::tie(table, marks) = sortedEntries(table, marks);
    beginResetModel();
    m_table = std::move(table);
    m_marks = std::move(marks);
    endResetModel();
}

void AddressList::Clear()
{
    replaceContent(TextTable());
}

int AddressList::Add(QStringView view)
{
    if (m_table.size() >= maxEntries)
        throw ListInsertError(QStringLiteral("Impossible d'insérer une ligne"));
    // A copy: the text may be a view of this list's own buffer.
    const qsizetype nul = view.indexOf(QChar(0));
    const QString text = (nul < 0 ? view : view.first(nul)).toString();
    const qsizetype n = m_table.size();
    qsizetype row = n;
    if (m_sorted) {
        const auto &spans = m_table.spans();
        const auto at = std::upper_bound(
            spans.begin(), spans.end(), text, [this](const QString &t, const TextSpan &s) {
                return m_collator.compare(
                           t, QStringView(m_table.buffer()).mid(s.offset, s.length)) < 0;
            });
        row = at - spans.begin();
    }
    if (row == n) {
        if (word(n + 1) >= m_marks.size())
            m_marks.push_back(0);
        beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
        m_table.append(text);
    } else {
        // The buffer stays in list order: rebuild it with the new entry at its place.
        TextTable rebuilt;
        rebuilt.reserve(n + 1, m_table.buffer().size() + text.size());
        std::vector<std::uint64_t> marks(word(n + 1) + 1, 0);
        for (qsizetype i = 0; i < n; ++i) {
            if (i == row)
                rebuilt.append(text);
            if (m_marks[word(i)] & bit(i))
                marks[word(rebuilt.size())] |= bit(rebuilt.size());
            rebuilt.append(m_table.at(i));
        }
        beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
        m_table = std::move(rebuilt);
        m_marks = std::move(marks);
    }
    endInsertRows();
    return static_cast<int>(row);
}

void AddressList::Assign(TextTable entries, TextEncoding encoding)
{
    if (entries.size() > maxEntries)
        throw ListInsertError(QStringLiteral("Impossible d'insérer une ligne"));
    m_encoding = encoding;
    replaceContent(std::move(entries));
}

TextTable AddressList::takeEntries()
{
    beginResetModel();
    TextTable taken = std::exchange(m_table, TextTable());
    m_marks.assign(1, 0);
    endResetModel();
    return taken;
}

QString AddressList::Text() const
{
    qsizetype total = 0;
    for (const TextSpan &s : m_table.spans())
        total += s.length + 2;
    QString text;
    text.reserve(total);
    for (qsizetype i = 0; i < m_table.size(); ++i) {
        text.append(m_table.at(i));
        text.append(u"\r\n");
    }
    return text;
}

QString AddressList::checkedText(int *count) const
{
    QString text;
    int n = 0;
    for (qsizetype i = 0; i < m_table.size(); ++i) {
        if (!(m_marks[word(i)] & bit(i)))
            continue;
        ++n;
        if (text.isEmpty()) {
            text = m_table.at(i).toString();
        } else {
            text.append(u"\r\n");
            text.append(m_table.at(i));
        }
    }
    if (count)
        *count = n;
    return text;
}

void AddressList::setSorted(bool sorted)
{
    if (sorted == m_sorted)
        return;
    if (!sorted) {
        m_sorted = false;
        return;
    }
    auto [table, marks] = sortedEntries(m_table, m_marks);
    m_sorted = true;
    const int selected = ItemIndex();
    emit sortRebuildAboutToStart();
    beginResetModel();
    m_table = std::move(table);
    m_marks = std::move(marks);
    endResetModel();
    if (selected >= 0)
        m_selection->setCurrentIndex(index(selected), QItemSelectionModel::ClearAndSelect);
    emit sortRebuildFinished();
}

// Extracted lists repeat the same addresses many times: the collation keys are made once per
// distinct text, then the entries are placed by the rank of their text, keeping their order.
std::pair<TextTable, std::vector<std::uint64_t>>
AddressList::sortedEntries(const TextTable &entries,
                           const std::vector<std::uint64_t> &entryMarks) const
{
    const qsizetype n = entries.size();
    if (n < 2)
        return {entries, entryMarks};
    // Open addressing over the distinct texts: a slot holds a distinct text's number plus one.
    std::size_t slotCount = 16;
    while (slotCount < static_cast<std::size_t>(n) * 2)
        slotCount *= 2;
    const std::size_t mask = slotCount - 1;
    std::vector<int> table(slotCount, 0);
    std::vector<std::size_t> hashes;
    std::vector<int> group(static_cast<std::size_t>(n));
    std::vector<QStringView> distinct;
    for (qsizetype i = 0; i < n; ++i) {
        const QStringView text = entries.at(i);
        const std::size_t hash = qHash(text);
        std::size_t slot = hash & mask;
        int id = -1;
        while (table[slot] != 0) {
            const int candidate = table[slot] - 1;
            if (hashes[static_cast<std::size_t>(candidate)] == hash &&
                distinct[static_cast<std::size_t>(candidate)] == text) {
                id = candidate;
                break;
            }
            slot = (slot + 1) & mask;
        }
        if (id < 0) {
            id = static_cast<int>(distinct.size());
            table[slot] = id + 1;
            distinct.push_back(text);
            hashes.push_back(hash);
        }
        group[static_cast<std::size_t>(i)] = id;
    }
    table = {};
    hashes = {};

    std::vector<int> byKey(distinct.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(distinct.size());
        for (QStringView text : distinct)
            keys.push_back(m_collator.sortKey(text.toString()));
        std::stable_sort(byKey.begin(), byKey.end(), [&keys](int a, int b) {
            return keys[static_cast<std::size_t>(a)].compare(keys[static_cast<std::size_t>(b)]) < 0;
        });
    }
    // Counting sort of the entries by the rank of their text.
    std::vector<qsizetype> start(distinct.size() + 1, 0);
    for (int g : group)
        ++start[static_cast<std::size_t>(g) + 1];
    std::vector<qsizetype> firstOfRank(distinct.size() + 1, 0);
    for (std::size_t rank = 0; rank < byKey.size(); ++rank)
        firstOfRank[rank + 1] =
            firstOfRank[rank] + start[static_cast<std::size_t>(byKey[rank]) + 1];
    std::vector<qsizetype> next(distinct.size());
    for (std::size_t rank = 0; rank < byKey.size(); ++rank)
        next[static_cast<std::size_t>(byKey[rank])] = firstOfRank[rank];
    std::vector<qsizetype> order(static_cast<std::size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        order[static_cast<std::size_t>(
            next[static_cast<std::size_t>(group[static_cast<std::size_t>(i)])]++)] = i;

    TextTable sorted;
    sorted.reserve(n, entries.buffer().size());
    std::vector<std::uint64_t> marks(word(n) + 1, 0);
    for (qsizetype to = 0; to < n; ++to) {
        const qsizetype from = order[static_cast<std::size_t>(to)];
        // Equal texts are copied from their first occurrence, which stays in the cache.
        sorted.append(distinct[static_cast<std::size_t>(group[static_cast<std::size_t>(from)])]);
        if (entryMarks[word(from)] & bit(from))
            marks[word(to)] |= bit(to);
    }
    return {std::move(sorted), std::move(marks)};
}

void AddressList::LoadFromFile(const QString &path)
{
    TextFileContent content = ReadTextFile(path);
    m_encoding = content.encoding;
    if (content.lines.size() > maxEntries) {
        Clear();
        throw ListInsertError(QStringLiteral("Impossible d'insérer une ligne"));
    }
    replaceContent(std::move(content.lines));
}

void AddressList::SaveToFile(const QString &path) const
{
    WriteWholeFile(path, ByteOrderMark(m_encoding), EncodeText(Text(), m_encoding));
}

int AddressList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

QVariant AddressList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return m_table.at(index.row()).toString();
    case Qt::CheckStateRole:
        return Checked(index.row()) ? Qt::Checked : Qt::Unchecked;
    default:
        return {};
    }
}

Qt::ItemFlags AddressList::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
           Qt::ItemNeverHasChildren;
}

bool AddressList::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= Count())
        return false;
    setChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

int FindAndSelect(AddressList &list, QStringView text, int start)
{
    const qsizetype found = FindFirstMatch(list.table(), text, start);
    if (found >= list.Count())
        return list.Count();
    list.Selected(static_cast<int>(found));
    return static_cast<int>(found);
}
