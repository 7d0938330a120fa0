#include "platform/gui_file_drop.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

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
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type != QEvent::Drop)
        return true;

    QStringList names;
    const QList<QUrl> urls = drop->mimeData()->urls();
    for (const QUrl &url : urls)
        names.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    if (!names.isEmpty()) {
        const QPoint position = widget->mapTo(m_window, drop->position().toPoint());
        emit dropped(names, position);
    }
    return true;
}
