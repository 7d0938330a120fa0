#include "app/main_window_geometry.h"

#include <algorithm>

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

// How much of the window's top edge, and below it, stays on a screen at the least: enough to
// take the window by its caption and drag it back.
constexpr int reachablePart = 64;

// A window of no width or height is never mapped: one pixel of client area is the least the
// windowing system shows.
int clientLength(qint64 frameLength, int frame)
{
    return int(std::clamp<qint64>(frameLength - frame, 1, QWIDGETSIZE_MAX));
}

bool topEdgeOn(const QRect &frame, const QRect &area)
{
    const int part = std::min(frame.width(), reachablePart);
    const int depth = std::min(frame.height(), reachablePart);
    const qint64 overlap = std::min<qint64>(frame.right(), area.right()) -
                           std::max<qint64>(frame.left(), area.left()) + 1;
    return overlap >= part && frame.top() >= area.top() &&
           qint64(frame.top()) <= qint64(area.bottom()) + 1 - depth;
}

} // namespace

MainWindowGeometry::MainWindowGeometry(QWidget *window) : m_window(window)
{
    m_window->windowHandle()->installEventFilter(this);
    m_window->installEventFilter(this);
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
// A place that far out is brought in reach when shown anyway; held within this bound, the
// rectangle arithmetic (right = left + width - 1) never overflows.
constexpr int farthestPlace = 1 << 28;

void MainWindowGeometry::setLeft(int left)
{
    left = std::clamp(left, -farthestPlace, farthestPlace);
    if (left == frameGeometry().left() && !m_window->testAttribute(Qt::WA_Moved))
        return;
    wanted().moveLeft(left);
    m_window->move(left, frameGeometry().top());
}

void MainWindowGeometry::setTop(int top)
{
    top = std::clamp(top, -farthestPlace, farthestPlace);
    if (top == frameGeometry().top() && !m_window->testAttribute(Qt::WA_Moved))
        return;
    wanted().moveTop(top);
    m_window->move(frameGeometry().left(), top);
}

void MainWindowGeometry::setWidth(int width)
{
    const int frame = frameGeometry().width() - m_window->width();
    if (width != frameGeometry().width())
        wanted().setWidth(clientLength(width, frame) + frame);
    m_window->resize(clientLength(width, frame), m_window->height());
}

void MainWindowGeometry::setHeight(int height)
{
    const int frame = frameGeometry().height() - m_window->height();
    if (height != frameGeometry().height())
        wanted().setHeight(clientLength(height, frame) + frame);
    m_window->resize(m_window->width(), clientLength(height, frame));
}

bool MainWindowGeometry::eventFilter(QObject *watched, QEvent *event)
{
    // The show event comes before the window is mapped: the last moment to bring it in reach.
    if (event->type() == QEvent::Show && watched == m_window && !m_broughtInReach) {
        m_broughtInReach = true;
        bringInReach();
    }
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

// Whatever was stored, the window starts where the user can see it and take it: at least part
// of its top edge on a screen. A window already so placed stays where it is.
void MainWindowGeometry::bringInReach()
{
    // A window nothing placed is placed by the windowing system, on a screen.
    if (!m_wanted && !m_window->testAttribute(Qt::WA_Moved))
        return;
    const QRect current = m_wanted ? *m_wanted : frameGeometry();
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        if (topEdgeOn(current, screen->availableGeometry()))
            return;
    }
    const QRect area = workArea();
    if (area.isEmpty())
        return;
    const int part = std::min(current.width(), reachablePart);
    const int depth = std::min(current.height(), reachablePart);
    const int left =
        int(std::clamp<qint64>(current.left(), qint64(area.left()) - current.width() + part,
                               qint64(area.right()) + 1 - part));
    const int top =
        int(std::clamp<qint64>(current.top(), area.top(),
                               std::max<qint64>(area.top(), qint64(area.bottom()) + 1 - depth)));
    wanted().moveTo(left, top);
    m_window->move(left, top);
}
