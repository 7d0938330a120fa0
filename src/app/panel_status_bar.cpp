#include "app/panel_status_bar.h"

#include <algorithm>

#include <QEvent>
#include <QSizeGrip>

StatusBarPanel::StatusBarPanel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusBarPanel::setPanelText(QStringView text)
{
    // A copy of a text of megabytes would cost more than a frame, for nothing that can be seen.
    m_cut = text.size() > shownPrefix;
    if (m_cut) {
        text = text.first(shownPrefix);
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    m_text = text.toString();
    showFitting();
}

void StatusBarPanel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    showFitting();
}

void StatusBarPanel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        showFitting();
}

void StatusBarPanel::showFitting()
{
    QString line = m_text;
    // One line: a separator the text layout would break at shows as a blank.
    for (QChar &c : line) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == u'\v' || u == u'\f' || u == 0x85 || u == 0x2028 ||
            u == 0x2029)
            c = u' ';
    }
    if (m_cut)
        line += QChar(0x2026);
    const int room = std::max(0, contentsRect().width());
    QLabel::setText(fontMetrics().elidedText(line, Qt::ElideRight, room));
}

PanelStatusBar::PanelStatusBar(QWidget *parent) : QStatusBar(parent) {}

void PanelStatusBar::addPanel(StatusBarPanel *panel, int width)
{
    panel->setParent(this);
    if (width > 0)
        panel->setFixedWidth(width);
    else
        panel->setMinimumWidth(0);
    m_panels.push_back({panel, width});
    placePanels();
}

void PanelStatusBar::resizeEvent(QResizeEvent *event)
{
    QStatusBar::resizeEvent(event);
    placePanels();
}

void PanelStatusBar::placePanels()
{
    const QSizeGrip *grip = findChild<QSizeGrip *>();
    const int gripWidth = grip && isSizeGripEnabled() ? grip->sizeHint().width() : 0;
    int left = 0;
    for (const Placed &placed : m_panels) {
        const int width =
            placed.width > 0 ? placed.width : std::max(0, this->width() - gripWidth - left);
        placed.panel->setGeometry(left, 0, width, height());
        left += width;
    }
}
