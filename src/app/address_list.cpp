#include "app/address_list.h"

#include <exception>
#include <limits>
#include <utility>

#include "extract/list_search.h"
#include "io/text_file.h"
#include "errors/app_error.h"

namespace {

constexpr qsizetype maxEntries = std::numeric_limits<int>::max() - 1;

void checkRoom(qsizetype entries)
{
    if (entries > maxEntries)
        throw ListInsertError(QStringLiteral("Impossible d'insérer une ligne"));
}

} // namespace

AddressList::AddressList(QObject *parent)
    : QAbstractListModel(parent), m_selection(new QItemSelectionModel(this, this))
{}

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
    return m_table.isChecked(index);
}

void AddressList::setChecked(int index, bool checked)
{
    checkIndex(index);
    m_table.setChecked(index, checked);
    const QModelIndex changed = this->index(index);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void AddressList::toggleChecked(int index)
{
    setChecked(index, !Checked(index));
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
void AddressList::replaceContent(TextTable entries)
{
    CheckTable table(std::move(entries));
    if (m_sorted)
        table.sort(m_order);
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

void AddressList::Clear()
{
    replaceContent(TextTable());
}

int AddressList::Add(QStringView text)
{
    checkRoom(m_table.size() + 1);
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text = text.first(nul);
    const qsizetype row = m_sorted ? m_table.sortedPlace(text, m_order) : m_table.size();
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
    m_table.insert(row, text);
    endInsertRows();
    return static_cast<int>(row);
}

void AddressList::Assign(TextTable entries, TextEncoding encoding)
{
    checkRoom(entries.size());
    m_encoding = encoding;
    replaceContent(std::move(entries));
}

TextTable AddressList::takeEntries()
{
    beginResetModel();
    TextTable taken = std::exchange(m_table, CheckTable()).takeEntries();
    endResetModel();
    return taken;
}

QString AddressList::checkedText(int *count) const
{
    if (count)
        *count = checkedCount();
    return m_table.checkedText();
}

void AddressList::setSorted(bool sorted)
{
    if (sorted == m_sorted)
        return;
    if (!sorted) {
        m_sorted = false;
        return;
    }
    const int selected = ItemIndex();
    emit sortRebuildAboutToStart();
    beginResetModel();
    // A sort that fails leaves the table as it was: the view gets it back the same way.
    std::exception_ptr failure;
    try {
        m_table.sort(m_order);
        m_sorted = true;
    } catch (...) {
        failure = std::current_exception();
    }
    endResetModel();
    if (selected >= 0)
        m_selection->setCurrentIndex(index(selected), QItemSelectionModel::ClearAndSelect);
    emit sortRebuildFinished();
    if (failure)
        std::rethrow_exception(failure);
}

void AddressList::LoadFromFile(const QString &path)
{
    TextFileContent content = ReadTextFile(path);
    m_encoding = content.encoding;
    if (content.lines.size() > maxEntries) {
        Clear();
        checkRoom(content.lines.size());
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

QModelIndex AddressList::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || row >= Count())
        return {};
    return createIndex(row, 0);
}

QVariant AddressList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
        QStringView text = m_table.at(index.row());
        if (text.size() > shownPrefix) {
            text = text.first(shownPrefix);
            if (text.back().isHighSurrogate())
                text.chop(1);
        }
        return text.toString();
    }
    case Qt::CheckStateRole:
        return m_table.isChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
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
