#pragma once

#include <vector>

#include <QLayout>

// Lays widgets out as the platform's forms do: in the order they were added, each claims a band
// of its own fixed size at the top, the bottom or the left of what remains, and the client one
// takes the rest. Nothing shrinks below its size: a parent too small for them clips them.
class AlignLayout : public QLayout
{
public:
    enum Align { Top, Bottom, Left, Client };

    explicit AlignLayout(QWidget *parent = nullptr);
    ~AlignLayout() override;

    // `size` is the height of a band, the width of a column; a client widget takes no size.
    void addAligned(QWidget *widget, Align side, int size = 0);

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override { return static_cast<int>(m_items.size()); }
    QSize sizeHint() const override;
    QSize minimumSize() const override { return {0, 0}; }
    void setGeometry(const QRect &rect) override;

private:
    struct Aligned
    {
        QLayoutItem *item;
        Align align;
        int size;
    };
    std::vector<Aligned> m_items;
};
