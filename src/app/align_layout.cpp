#include "app/align_layout.h"

#include <algorithm>

#include <QWidget>

AlignLayout::AlignLayout(QWidget *parent) : QLayout(parent)
{
    setContentsMargins(0, 0, 0, 0);
    setSpacing(0);
    setSizeConstraint(QLayout::SetNoConstraint);
}

AlignLayout::~AlignLayout()
{
    for (const Aligned &aligned : m_items)
        delete aligned.item;
}

void AlignLayout::addAligned(QWidget *widget, Align side, int size)
{
    addChildWidget(widget);
    m_items.push_back({new QWidgetItem(widget), side, size});
    invalidate();
}

void AlignLayout::addItem(QLayoutItem *item)
{
    m_items.push_back({item, Client, 0});
}

QLayoutItem *AlignLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? m_items[static_cast<std::size_t>(index)].item : nullptr;
}

QLayoutItem *AlignLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem *item = m_items[static_cast<std::size_t>(index)].item;
    m_items.erase(m_items.begin() + index);
    return item;
}

QSize AlignLayout::sizeHint() const
{
    int width = 0;
    int height = 0;
    for (const Aligned &aligned : m_items) {
        if (aligned.align == Top || aligned.align == Bottom)
            height += aligned.size;
        else if (aligned.align == Left)
            width += aligned.size;
    }
    return {width, height};
}

// Widgets are placed directly: a layout item would keep them inside the rectangle and bound
// them by their size hints.
static void place(QLayoutItem *item, const QRect &rect)
{
    if (QWidget *widget = item->widget())
        widget->setGeometry(rect);
    else
        item->setGeometry(rect);
}

void AlignLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    int left = rect.left();
    int top = rect.top();
    int right = rect.left() + rect.width();
    int bottom = rect.top() + rect.height();
    for (const Aligned &aligned : m_items) {
        const int width = std::max(0, right - left);
        const int height = std::max(0, bottom - top);
        switch (aligned.align) {
        case Top:
            place(aligned.item, QRect(left, top, width, aligned.size));
            top += aligned.size;
            break;
        case Bottom:
            place(aligned.item, QRect(left, bottom - aligned.size, width, aligned.size));
            bottom -= aligned.size;
            break;
        case Left:
            place(aligned.item, QRect(left, top, aligned.size, height));
            left += aligned.size;
            break;
        case Client:
            place(aligned.item, QRect(left, top, width, height));
            break;
        }
    }
}
