#include "platform/gui_file_drop.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

QStringList localNames(const QMimeData &data)
{
    QStringList names;
    const QList<QUrl> urls = data.urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            names.append(url.toLocalFile());
    }
    return names;
}

} // namespace

FileDropTarget::FileDropTarget(QWidget *window) : QObject(window), m_window(window)
{
    m_window->setAcceptDrops(true);
    qApp->installEventFilter(this);
}

bool FileDropTarget::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_window)
        return false;
    auto *drop = static_cast<QDropEvent *>(event);
    if (!drop->mimeData() || !drop->mimeData()->hasUrls())
        return false;
    // Only local files and folders are dropped items; links to anything else are left out, and
    // a drag that carries none is refused everywhere on the window (no control takes it as text).
    const QStringList names = localNames(*drop->mimeData());
    if (names.isEmpty()) {
        drop->setDropAction(Qt::IgnoreAction);
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop)
        emit dropped(names, widget->mapTo(m_window, drop->position().toPoint()));
    return true;
}
