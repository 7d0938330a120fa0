#pragma once

#include <vector>

#include <QLabel>
#include <QStatusBar>

// One panel of the status bar: one line of its text, cut with an ellipsis where it does not
// fit. Only the start of a long text is ever laid out, so a text of any length shows at once.
class StatusBarPanel : public QLabel
{
    Q_OBJECT

public:
    explicit StatusBarPanel(QWidget *parent = nullptr);

    // The panel keeps the start of the text, more than it can show: what it shows, and what a
    // screen reader hears, is the part that fits, cut with an ellipsis.
    void setPanelText(QStringView text);
    QString panelText() const { return m_text; }

    // How much of a text is laid out at most: more than any panel can show.
    static constexpr qsizetype shownPrefix = 4096;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void showFitting();

    QString m_text;
    bool m_cut = false;
};

// The status bar's panels stand side by side from its left edge, each with its own width, the
// last one taking the rest up to the size grip. The panels keep their widths in a bar too narrow
// for them: the window clips them (the stock bar would space, inset and shrink them).
class PanelStatusBar : public QStatusBar
{
    Q_OBJECT

public:
    explicit PanelStatusBar(QWidget *parent = nullptr);

    // A panel of that width, or taking the rest when the width is 0.
    void addPanel(StatusBarPanel *panel, int width);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placePanels();

    struct Placed
    {
        StatusBarPanel *panel;
        int width;
    };
    std::vector<Placed> m_panels;
};
