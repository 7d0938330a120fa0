#include "app/check_list_box.h"

#include <algorithm>
#include <queue>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include "app/address_list.h"
#include "extract/list_search.h"

namespace {

qint64 monotonicMilliseconds()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

// The keys the list moves its selection with. A one-column list takes Left as Up and Right as
// Down.
int navigationKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        return Qt::Key_Up;
    case Qt::Key_Down:
    case Qt::Key_Right:
        return Qt::Key_Down;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return key;
    default:
        return 0;
    }
}

} // namespace

CheckListBox::CheckListBox(QWidget *parent) : QListView(parent), m_ticks(monotonicMilliseconds)
{
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setDragEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new CheckListDelegate(this));
    // A left press takes the focus (leftPress); a right press opens the menu and leaves the
    // focus where it is, so the menu's edit entries can act on the search field.
    setFocusPolicy(Qt::TabFocus);
}

QItemSelectionModel::SelectionFlags CheckListBox::selectionCommand(const QModelIndex &index,
                                                                   const QEvent *) const
{
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
}

void CheckListBox::setAddressList(AddressList *list)
{
    m_list = list;
    setModel(list);
    setSelectionModel(list->selectionModel());
    connect(list, &QAbstractItemModel::modelReset, this, [this] {
        if (!m_sorting)
            measureAll();
    });
    connect(list, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) {
                if (!m_measurePending)
                    measureRows(first, last);
            });
    connect(list, &AddressList::scrollToRequested, this,
            [this](int row) { scrollTo(m_list->index(row)); });
    connect(list, &AddressList::sortRebuildAboutToStart, this, [this] {
        m_savedScroll = verticalScrollBar()->value();
        m_sorting = true;
    });
    connect(list, &AddressList::sortRebuildFinished, this, [this] {
        m_sorting = false;
        doItemsLayout();
        verticalScrollBar()->setValue(m_savedScroll);
    });
    measureAll();
}

int CheckListBox::checkColumnWidth() const
{
    return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + 2;
}

int CheckListBox::rowHeight() const
{
    const int textHeight = fontMetrics().boundingRect(QStringLiteral("Wg")).height();
    const int checkHeight = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
    return std::max({textHeight, fontMetrics().height(), checkHeight});
}

int CheckListBox::firstVisibleRow() const
{
    return indexAt(QPoint(1, 1)).row();
}

// Advances are kept in 1/64 pixel, filled on first use of each code unit.
qint64 CheckListBox::approximateWidth(QStringView text, const QFontMetricsF &metrics)
{
    if (m_advances.empty())
        m_advances.assign(0x10000, -1);
    qint64 width = 0;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        qint32 advance = m_advances[c];
        if (advance < 0) {
            advance = qRound(metrics.horizontalAdvance(QChar(c)) * 64);
            m_advances[c] = advance;
        }
        width += advance;
    }
    return width;
}

QStringView CheckListBox::visiblePart(QStringView text, int pixels)
{
    constexpr qsizetype margin = 64;
    const QFontMetricsF metrics(font());
    const qint64 wanted = qint64(std::max(pixels, 0)) * 64;
    qint64 width = 0;
    qsizetype end = 0;
    while (end < text.size() && width <= wanted)
        width += approximateWidth(text.sliced(end++, 1), metrics);
    end = std::min(text.size(), end + margin);
    if (end < text.size() && text[end - 1].isHighSurrogate())
        --end;
    return text.first(end);
}

// Measuring every entry exactly would cost seconds on millions of rows; a table of advances per
// code unit ranks them, and the widest few are then measured exactly.
void CheckListBox::measureAll()
{
    m_advances.clear();
    m_contentWidth = 0;
    if (m_list && m_list->Count() == 0) {
        // An empty list has nothing to measure; its range returns to zero at once.
        m_measurePending = false;
        scheduleDelayedItemsLayout();
        return;
    }
    if (!m_measurePending) {
        m_measurePending = true;
        QMetaObject::invokeMethod(this, &CheckListBox::measurePending, Qt::QueuedConnection);
    }
}

void CheckListBox::measurePending()
{
    if (!m_measurePending)
        return;
    m_measurePending = false;
    if (m_list && m_list->Count() > 0)
        measureRows(0, m_list->Count() - 1);
    else
        applyContentWidth(0);
}

int CheckListBox::contentWidth()
{
    measurePending();
    return m_contentWidth;
}

void CheckListBox::measureRows(int first, int last)
{
    constexpr std::size_t candidates = 32;
    using Candidate = std::pair<qint64, int>;
    std::priority_queue<Candidate, std::vector<Candidate>, std::greater<>> widest;
    const TextTable &table = m_list->table();
    const QFontMetricsF approximate(font());
    for (int row = first; row <= last; ++row) {
        const qint64 width = approximateWidth(table.at(row), approximate);
        if (widest.size() < candidates) {
            widest.emplace(width, row);
        } else if (width > widest.top().first) {
            widest.pop();
            widest.emplace(width, row);
        }
    }
    const QFontMetrics metrics(font());
    int widestPixels = 0;
    for (; !widest.empty(); widest.pop()) {
        // Beyond the 16-bit range an entry is not measured: its width counts as the widest.
        if (widest.top().first > qint64(widestEntry) * 64 * 2) {
            widestPixels = widestEntry;
            continue;
        }
        const QStringView entry = table.at(widest.top().second);
        const QString text = visiblePart(entry, 2 * widestEntry).toString() + QLatin1Char(' ');
        widestPixels =
            std::max(widestPixels, std::min(metrics.horizontalAdvance(text), widestEntry));
    }
    applyContentWidth(std::max(m_contentWidth, widestPixels + checkColumnWidth()));
}

void CheckListBox::applyContentWidth(int width)
{
    if (width == m_contentWidth)
        return;
    m_contentWidth = width;
    // The uniform row size is cached by the view: lay the rows out again with the new width,
    // unless this measure was asked for by the layout under way.
    if (!m_inLayout)
        scheduleDelayedItemsLayout();
}

void CheckListBox::doItemsLayout()
{
    m_inLayout = true;
    measurePending();
    QListView::doItemsLayout();
    m_inLayout = false;
}

void CheckListBox::keyPressEvent(QKeyEvent *event)
{
    if (!m_list) {
        QListView::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    if (const int moveKey = navigationKey(key)) {
        const int before = m_list->ItemIndex();
        // The caret starts on the first entry, at start-up as after the entries were replaced,
        // and a key that leaves it there still selects the entry under it.
        if (m_list->Count() > 0 && !currentIndex().isValid())
            selectionModel()->setCurrentIndex(m_list->index(0), QItemSelectionModel::NoUpdate);
        QKeyEvent move(event->type(), moveKey, event->modifiers(), event->text(),
                       event->isAutoRepeat(), event->count());
        QListView::keyPressEvent(&move);
        event->setAccepted(move.isAccepted());
        if (m_list->ItemIndex() < 0 && currentIndex().isValid())
            m_list->Selected(currentIndex().row());
        if (m_list->ItemIndex() != before)
            emit userClicked();
        return;
    }
    const bool backspace = key == Qt::Key_Backspace;
    const bool enterOrEscape =
        key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
    QString text = event->text();
    const bool printable = !text.isEmpty() && !text.front().isNull() && text.front() >= u' ' &&
                           text.front() != QChar(0x7f);
    // Alt with a letter is a menu key, not a typed character.
    const bool altHeld =
        (event->modifiers() & Qt::AltModifier) && !(event->modifiers() & Qt::GroupSwitchModifier);
    if (!altHeld && (backspace || enterOrEscape || printable)) {
        if (key == Qt::Key_Space && m_list->ItemIndex() >= 0) {
            m_list->toggleChecked(m_list->ItemIndex());
            emit userChecked();
        }
        if (enterOrEscape)
            text = key == Qt::Key_Escape ? QStringLiteral("\x1b") : QStringLiteral("\r");
        typeAhead(text, backspace);
        event->accept();
        return;
    }
    // Every other key is inert here: the stock view would copy the selected entry on Ctrl+Insert
    // or the Copy key, select on the Select key, and more. The key goes on to the window.
    event->ignore();
}

void CheckListBox::typeAhead(const QString &text, bool backspace)
{
    const qint64 now = m_ticks();
    if (!m_typedBefore || now - m_lastTypedAt >= 500)
        m_typed.clear();
    m_typedBefore = true;
    m_lastTypedAt = now;
    if (backspace) {
        qsizetype cut = 1;
        if (m_typed.size() >= 2 && m_typed.back().isLowSurrogate() &&
            m_typed[m_typed.size() - 2].isHighSurrogate())
            cut = 2;
        m_typed.chop(std::min(cut, m_typed.size()));
    } else {
        m_typed += text;
    }
    if (!m_typed.isEmpty()) {
        const qsizetype found = FindFirstWithPrefix(m_list->table(), m_typed);
        if (found < 0)
            return;
        m_list->Selected(static_cast<int>(found));
    } else if (m_list->Count() > 0) {
        m_list->Selected(0);
    }
    emit userClicked();
}

void CheckListBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        leftPress(event);
        return;
    }
    // Right and middle presses neither select nor tick; the right one opens the menu.
    event->accept();
}

void CheckListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double-click is a press like any other: it ticks again.
    if (event->button() == Qt::LeftButton)
        leftPress(event);
    else
        event->accept();
}

void CheckListBox::leftPress(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        event->accept();
        m_rowAtPress = m_list ? m_list->ItemIndex() : -1;
        return;
    }
    QListView::mousePressEvent(event);
    m_rowAtPress = m_list->ItemIndex();
    emit userClicked();
    const QRect row = visualRect(index);
    const int x = event->position().toPoint().x();
    if (x >= row.left() && x < row.left() + checkColumnWidth()) {
        m_list->toggleChecked(index.row());
        viewport()->repaint(visualRect(index));
        emit userChecked();
    }
}

void CheckListBox::mouseReleaseEvent(QMouseEvent *event)
{
    QListView::mouseReleaseEvent(event);
    // A drag with the button held moves the selection like the platform list does.
    if (m_list && event->button() == Qt::LeftButton && m_list->ItemIndex() != m_rowAtPress)
        emit userClicked();
}

void CheckListBox::contextMenuEvent(QContextMenuEvent *event)
{
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard ? mapToGlobal(QPoint(0, 0))
                                                                     : event->globalPos();
    emit contextMenuWanted(at);
    event->accept();
}

CheckListDelegate::CheckListDelegate(CheckListBox *view) : QStyledItemDelegate(view), m_view(view)
{}

QSize CheckListDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return {std::max(m_view->contentWidth(), 1), m_view->rowHeight()};
}

void CheckListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    const QStyle *style = m_view->style();
    QRect row = option.rect;
    row.setRight(std::max(row.right(), m_view->viewport()->width() - 1));
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette &palette = option.palette;
    if (selected)
        painter->fillRect(row, palette.brush(QPalette::Active, QPalette::Highlight));

    const int column = m_view->checkColumnWidth();
    QStyleOptionButton check;
    check.state =
        QStyle::State_Enabled |
        (index.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked ? QStyle::State_On
                                                                               : QStyle::State_Off);
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, m_view);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, m_view);
    check.rect = QRect(option.rect.left() + (column - w) / 2,
                       option.rect.top() + (option.rect.height() - h) / 2, w, h);
    check.palette = palette;
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, painter, m_view);

    const QRect textRect(option.rect.left() + column, option.rect.top(),
                         std::max(option.rect.width(), row.width()), option.rect.height());
    painter->setFont(option.font);
    painter->setPen(
        palette.color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Text));
    // Only the part of the entry up to the viewport's right edge is laid out and drawn.
    const int seen = m_view->viewport()->width() - textRect.left();
    const QStringView entry = m_view->addressList()->table().at(index.row());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      m_view->visiblePart(entry, seen).toString());
}
