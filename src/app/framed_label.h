#pragma once

#include <QLabel>

// A caption centred both ways and wrapped at word boundaries, with no background of its own and
// a rounded frame drawn along its whole area.
class FramedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit FramedLabel(const QString &text, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
