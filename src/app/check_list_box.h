#pragma once

#include <functional>

#include <QFontMetricsF>
#include <QListView>
#include <QStyledItemDelegate>

class AddressList;

// The address list's view: a check column and the text on each row, all rows of one height.
// It turns the user's presses and keys into selections, ticks and type-ahead, and tells the
// window through userClicked (a selection by the user) and userChecked (a tick toggled).
class CheckListBox : public QListView
{
    Q_OBJECT

public:
    explicit CheckListBox(QWidget *parent = nullptr);

    void setAddressList(AddressList *list);
    AddressList *addressList() const { return m_list; }

    int checkColumnWidth() const;
    int rowHeight() const;
    // The widest entry in pixels, followed by one blank, plus the check column: the horizontal
    // scroll range.
    // Measured once the event that filled the list is done, so that a load followed at once by
    // an extract measures only the extracted entries.
    int contentWidth();
    int firstVisibleRow() const;
    void doItemsLayout() override;
    // Milliseconds of a monotonic clock, for the half-second rule of the type-ahead.
    void setTickSource(std::function<qint64()> ticks) { m_ticks = std::move(ticks); }

signals:
    void userClicked();
    void userChecked();
    void contextMenuWanted(QPoint globalPosition);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyboardSearch(const QString &) override {}
    // One selected entry at most, and a press never deselects it (not even with Ctrl held).
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;

private:
    void leftPress(QMouseEvent *event);
    void typeAhead(const QString &text, bool backspace);
    void measureAll();
    void measurePending();
    void measureRows(int first, int last);
    qint64 approximateWidth(QStringView text, const QFontMetricsF &metrics);

public:
    // The start of an entry that covers `pixels` from its left edge, with a margin for what the
    // per-character advances miss (kerning, joined letters); never splits a surrogate pair.
    QStringView visiblePart(QStringView text, int pixels);

    // The widest an entry counts for the horizontal range: its width is a 16-bit number.
    static constexpr int widestEntry = 65535;

private:
    void applyContentWidth(int width);

    AddressList *m_list = nullptr;
    QString m_typed;
    qint64 m_lastTypedAt = 0;
    bool m_typedBefore = false;
    std::function<qint64()> m_ticks;
    int m_contentWidth = 0;
    int m_savedScroll = 0;
    int m_rowAtPress = -1;
    std::vector<qint32> m_advances;
    bool m_measurePending = false;
    bool m_inLayout = false;
    // A sort moves the entries without changing them: their widest stays as measured.
    bool m_sorting = false;
};

// Paints one row: the highlight across the whole row, the check box centred in its column, then
// the text, never shortened.
class CheckListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit CheckListDelegate(CheckListBox *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // The view ticks entries itself; the stock delegate would eat the press on the check box and
    // toggle again on release.
    bool editorEvent(QEvent *, QAbstractItemModel *, const QStyleOptionViewItem &,
                     const QModelIndex &) override
    {
        return false;
    }

private:
    CheckListBox *m_view;
};
