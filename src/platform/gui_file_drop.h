#pragma once

#include <QObject>
#include <QPoint>
#include <QStringList>

class QWidget;

// Accepts files dropped from a file manager anywhere on a window, its children included (the
// search field would otherwise take a dropped file's name as text), and hands over their names.
// A drag of links without a local file among them is refused.
class FileDropTarget : public QObject
{
    Q_OBJECT

public:
    explicit FileDropTarget(QWidget *window);

signals:
    // The names of the dropped local files and folders in the order the platform gives them, and
    // the drop point in the window's coordinates.
    void dropped(const QStringList &names, QPoint position);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
};
