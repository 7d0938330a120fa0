#include <QFontInfo>
#include <QTest>

#include "support/window_harness.h"

using namespace Qt::StringLiterals;

// The window at its design size, in the program's theme: every component where the layout table
// puts it, in its font.
class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        m_h.open();
    }

    void geometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("expected"); // in the window's client coordinates
        QTest::newRow("top band") << u"Panel2"_s << QRect(0, 0, 600, 25);
        QTest::newRow("search label") << u"JvLabel2"_s << QRect(1, 1, 120, 23);
        QTest::newRow("search field") << u"Edit1"_s << QRect(121, 1, 478, 23);
        QTest::newRow("left column") << u"Panel1"_s << QRect(0, 25, 121, 350);
        QTest::newRow("drop hint") << u"JvLabel1"_s << QRect(1, 26, 119, 220);
        QTest::newRow("picture") << u"Image1"_s << QRect(1, 246, 119, 128);
        QTest::newRow("list") << u"JvCheckListBox1"_s << QRect(121, 25, 479, 350);
        QTest::newRow("status bar") << u"StatusBar1"_s << QRect(0, 375, 600, 19);
    }
    void geometry()
    {
        QFETCH(QString, name);
        QFETCH(QRect, expected);
        QCOMPARE(m_h.window().size(), QSize(600, 394));
        const auto *widget = m_h.window().findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(QRect(widget->mapTo(&m_h.window(), QPoint(0, 0)), widget->size()), expected);
    }

    // The panels stand side by side from the bar's left edge; the last one takes the rest.
    void statusPanels()
    {
        const int lefts[] = {0, 100, 120, 140};
        const int widths[] = {100, 20, 20, -1};
        const QWidget *bar = m_h.window().findChild<QWidget *>(u"StatusBar1"_s);
        for (int i = 0; i < 4; ++i) {
            const QLabel *panel = m_h.panelLabel(i);
            QVERIFY(panel);
            const QPoint at = panel->mapTo(bar, QPoint(0, 0));
            QCOMPARE(at, QPoint(lefts[i], 0));
            QCOMPARE(panel->height(), bar->height());
            if (widths[i] > 0)
                QCOMPARE(panel->width(), widths[i]);
        }
        const QLabel *last = m_h.panelLabel(3);
        // The rest of the bar, up to the size grip at its right end.
        QVERIFY(last->width() > 400);
        QVERIFY(last->mapTo(bar, QPoint(last->width(), 0)).x() <= bar->width());
    }

    void panelTextsFit_data()
    {
        QTest::addColumn<int>("panel");
        QTest::addColumn<QString>("text");
        QTest::newRow("count") << 0 << u"10002 adresses"_s;
        QTest::newRow("three-digit index") << 1 << u"254"_s;
        QTest::newRow("three-digit ticks") << 2 << u"254"_s;
    }
    // The panels have no padding of their own: what the platform bar shows in a panel fits here.
    void panelTextsFit()
    {
        QFETCH(int, panel);
        QFETCH(QString, text);
        const QLabel *label = m_h.panelLabel(panel);
        QVERIFY(label);
        const int room = label->contentsRect().width();
        const int needed = label->fontMetrics().horizontalAdvance(text);
        QVERIFY2(needed <= room, qPrintable(u"%1 px in %2 px"_s.arg(needed).arg(room)));
    }

    void tinyWindow_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("expected"); // in the window's client coordinates
        // The bands claim their sizes first, the column its width; the list keeps what remains.
        QTest::newRow("top band") << u"Panel2"_s << QRect(0, 0, 150, 25);
        QTest::newRow("search label") << u"JvLabel2"_s << QRect(1, 1, 120, 23);
        QTest::newRow("search field") << u"Edit1"_s << QRect(121, 1, 28, 23);
        QTest::newRow("left column") << u"Panel1"_s << QRect(0, 25, 121, 76);
        QTest::newRow("drop hint") << u"JvLabel1"_s << QRect(1, 26, 119, 0);
        QTest::newRow("picture") << u"Image1"_s << QRect(1, 100 - 128, 119, 128);
        QTest::newRow("list") << u"JvCheckListBox1"_s << QRect(121, 25, 29, 76);
        QTest::newRow("status bar") << u"StatusBar1"_s << QRect(0, 101, 150, 19);
        QTest::newRow("count panel") << u"StatusPanel0"_s << QRect(0, 101, 100, 19);
        QTest::newRow("index panel") << u"StatusPanel1"_s << QRect(100, 101, 20, 19);
        QTest::newRow("ticks panel") << u"StatusPanel2"_s << QRect(120, 101, 20, 19);
    }
    // A window smaller than the design: every control keeps its place and size, and the window
    // clips them at its edges instead of squeezing them over each other.
    void tinyWindow()
    {
        QFETCH(QString, name);
        QFETCH(QRect, expected);
        WindowHarness h;
        TForm1 &window = h.open();
        window.resize(150, 120);
        QTRY_COMPARE(window.size(), QSize(150, 120));
        const auto *widget = window.findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size()), expected);
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pixelSize");
        QTest::newRow("window") << u"Form1"_s << 11;
        QTest::newRow("search field") << u"Edit1"_s << 11;
        QTest::newRow("search label") << u"JvLabel2"_s << 16;
        QTest::newRow("drop hint") << u"JvLabel1"_s << 16;
        QTest::newRow("list") << u"JvCheckListBox1"_s << 13;
    }
    // Tahoma where it is installed, its stand-in elsewhere: the family asked for and the pixel
    // size come out of the font, within a pixel of what the font engine can give.
    void fonts()
    {
        QFETCH(QString, name);
        QFETCH(int, pixelSize);
        const QWidget *widget =
            name == u"Form1"_s ? &m_h.window() : m_h.window().findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(widget->font().families().value(0), u"Tahoma"_s);
        QCOMPARE(widget->font().pixelSize(), pixelSize);
        QVERIFY2(qAbs(QFontInfo(widget->font()).pixelSize() - pixelSize) <= 1,
                 qPrintable(QString::number(QFontInfo(widget->font()).pixelSize())));
    }

    void searchFieldUsesTheWindowFont()
    {
        QCOMPARE(m_h.edit()->font(), m_h.window().font());
        QCOMPARE(QFontInfo(m_h.edit()->font()).family(), QFontInfo(m_h.window().font()).family());
    }

private:
    WindowHarness m_h;
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
