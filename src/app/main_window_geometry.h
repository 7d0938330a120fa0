#pragma once

#include <optional>

#include <QObject>
#include <QRect>

#include "settings/window_geometry.h"

class QWidget;

// The main window's outer frame as the stored geometry sees it. Before the window is first shown,
// a windowing system may not know its frame yet: the frame wanted is kept and applied again once
// the window is exposed, so the window neither moves nor grows from one start to the next. When
// first shown, the window is kept within reach on a screen, whatever was stored.
class MainWindowGeometry : public QObject, public GeometryWindow
{
    Q_OBJECT

public:
    // The window's platform window must exist already.
    explicit MainWindowGeometry(QWidget *window);

    QRect frameGeometry() const override;
    QRect workArea() const override;
    void setLeft(int left) override;
    void setTop(int top) override;
    void setWidth(int width) override;
    void setHeight(int height) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QRect &wanted();
    void applyWantedFrame();
    void bringInReach();

    QWidget *m_window;
    std::optional<QRect> m_wanted;
    bool m_broughtInReach = false;
};
