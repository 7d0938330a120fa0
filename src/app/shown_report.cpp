#include "app/shown_report.h"

#include <cstdio>

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QWidget>

namespace {

class FirstPaintWatch : public QObject
{
public:
    FirstPaintWatch(QWidget *target, bool quit) : QObject(target), m_quit(quit) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued, so it runs once the paint and its flush to the screen are complete.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    std::fputs("shown\n", stdout);
                    std::fflush(stdout);
                    if (m_quit)
                        QCoreApplication::quit();
                    deleteLater();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_quit;
};

} // namespace

void ReportShownIfAsked(QWidget &window)
{
    if (!qEnvironmentVariableIsSet("EXTRACTEUR_REPORT_SHOWN"))
        return;
    const bool quit = qgetenv("EXTRACTEUR_REPORT_SHOWN") == "quit";
    QWidget *target = &window;
    if (auto *list = window.findChild<QAbstractScrollArea *>(QStringLiteral("JvCheckListBox1")))
        target = list->viewport();
    target->installEventFilter(new FirstPaintWatch(target, quit));
}
