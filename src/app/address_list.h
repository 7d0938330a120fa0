#pragma once

#include <optional>

#include <QAbstractListModel>
#include <QItemSelectionModel>

#include "extract/check_table.h"
#include "extract/text_order.h"
#include "io/text_encoding.h"

// The model of the main window's check list over a CheckTable: the list's named members, the
// selection (ItemIndex), the one-way sorted mode and the model notifications. Every bulk change
// is one model reset.
class AddressList : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit AddressList(QObject *parent = nullptr);

    // What the model gives of an entry as text, to a view or a screen reader: its start, more
    // than a row shows at once. The entries themselves are read through Items.
    static constexpr qsizetype shownPrefix = 4096;

    // The selection model the view must use: the list's own selection is ItemIndex.
    QItemSelectionModel *selectionModel() const { return m_selection; }

    const TextTable &table() const { return m_table.entries(); }
    int Count() const { return static_cast<int>(m_table.size()); }
    QStringView Items(int index) const; // ListIndexError outside 0..Count-1
    bool Checked(int index) const;      // ListIndexError outside 0..Count-1
    void setChecked(int index, bool checked);
    void toggleChecked(int index);
    int checkedCount() const { return static_cast<int>(m_table.checkedCount()); }
    int ItemIndex() const;
    void Selected(int index); // selects and asks the view to show it; ListIndexError outside
    bool Sorted() const { return m_sorted; }
    void setSorted(bool sorted);
    void Clear();
    int Add(QStringView text); // ListInsertError when the list is full
    void Assign(TextTable entries, TextEncoding encoding);
    // Hands the entries over and leaves the list empty, for a command that builds the new
    // entries out of the old ones' memory.
    TextTable takeEntries();
    QString Text() const { return m_table.text(); }
    // Text in UTF-8; none when an entry holds a lone surrogate.
    std::optional<QByteArray> utf8Text() const { return m_table.utf8Text(); }
    // Checked entries joined by CR LF; an empty first gathered text takes no separator.
    QString checkedText(int *count = nullptr) const;
    void LoadFromFile(const QString &path);
    void SaveToFile(const QString &path) const;
    TextEncoding Encoding() const { return m_encoding; }

    int rowCount(const QModelIndex &parent = {}) const override;
    // The view asks for the index of every row at each layout of millions of rows: answered
    // without the two virtual calls of the base class's check.
    QModelIndex index(int row, int column = 0, const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

signals:
    void scrollToRequested(int row);
    // Around the rebuild that turns sorted mode on: the view keeps its first visible row.
    void sortRebuildAboutToStart();
    void sortRebuildFinished();

private:
    void replaceContent(TextTable entries);
    void checkIndex(int index) const;

    CheckTable m_table;
    TextEncoding m_encoding = TextEncoding::SystemCodePage;
    bool m_sorted = false;
    TextOrder m_order;
    QItemSelectionModel *m_selection;
};

// Selects the first entry at or after `start` that contains `text`, ignoring letter case, and
// brings it into view; returns its index, or Count() when none matches (the selection stays).
int FindAndSelect(AddressList &list, QStringView text, int start);
