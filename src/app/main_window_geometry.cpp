#include "app/main_window_geometry.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

MainWindowGeometry::MainWindowGeometry(QWidget *window) : m_window(window)
{
    m_window->windowHandle()->installEventFilter(this);
}

// Until the window is placed, its frame stands where the windowing system will put the window:
// no bound then moves a window that has no stored place.
QRect MainWindowGeometry::frameGeometry() const
{
    QRect frame = m_window->frameGeometry();
    if (!m_window->testAttribute(Qt::WA_Moved) && !m_window->isVisible())
        frame.moveTopLeft(m_window->geometry().topLeft());
    return frame;
}

QRect MainWindowGeometry::workArea() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// A value equal to the current one changes nothing: without a stored geometry the window keeps
// the place the windowing system gives it.
void MainWindowGeometry::setLeft(int left)
{
    if (left == frameGeometry().left() && !m_window->testAttribute(Qt::WA_Moved))
        return;
    wanted().moveLeft(left);
    m_window->move(left, frameGeometry().top());
}

void MainWindowGeometry::setTop(int top)
{
    if (top == frameGeometry().top() && !m_window->testAttribute(Qt::WA_Moved))
        return;
    wanted().moveTop(top);
    m_window->move(frameGeometry().left(), top);
}

void MainWindowGeometry::setWidth(int width)
{
    const int frame = frameGeometry().width() - m_window->width();
    if (width != frameGeometry().width())
        wanted().setWidth(width);
    m_window->resize(width - frame, m_window->height());
}

void MainWindowGeometry::setHeight(int height)
{
    const int frame = frameGeometry().height() - m_window->height();
    if (height != frameGeometry().height())
        wanted().setHeight(height);
    m_window->resize(m_window->width(), height - frame);
}

bool MainWindowGeometry::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Expose && watched == m_window->windowHandle() &&
        m_window->windowHandle()->isExposed())
        applyWantedFrame();
    return QObject::eventFilter(watched, event);
}

QRect &MainWindowGeometry::wanted()
{
    if (!m_wanted)
        m_wanted = frameGeometry();
    return *m_wanted;
}

void MainWindowGeometry::applyWantedFrame()
{
    if (!m_wanted)
        return;
    const QRect wanted = *m_wanted;
    m_wanted.reset();
    const QSize frame = m_window->frameGeometry().size() - m_window->size();
    if (frame.isEmpty() && m_window->frameGeometry() == wanted)
        return;
    m_window->move(wanted.topLeft());
    m_window->resize(wanted.size() - frame);
}
