#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "support/window_harness.h"

using namespace Qt::StringLiterals;

namespace {

// At least part of the frame's top edge lies on a screen, with some of the window below it.
bool topEdgeOnAScreen(const QRect &frame)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        const QRect area = screen->availableGeometry();
        if (area.contains(
                QPoint(std::clamp(frame.left(), area.left(), area.right()), frame.top())) &&
            frame.left() <= area.right() && frame.right() >= area.left())
            return true;
    }
    return false;
}

QRect parsed(const QString &stored)
{
    const QStringList parts = stored.split(u':');
    return QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
}

} // namespace

class TestMainWindowGeometry : public QObject
{
    Q_OBJECT

private slots:
    void storedGeometryStaysInReach_data();
    void storedGeometryStaysInReach();
};

void TestMainWindowGeometry::storedGeometryStaysInReach_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("keptAsStored");

    QTest::newRow("within the screen") << u"40:30:500:300"_s << true;
    QTest::newRow("partly off the left edge") << u"-200:30:500:300"_s << true;
    QTest::newRow("no size") << u"0:0:0:0"_s << false;
    QTest::newRow("negative size") << u"0:0:-100:-100"_s << false;
    QTest::newRow("huge negatives")
        << u"-2147483648:-2147483648:-2147483648:-2147483648"_s << false;
    QTest::newRow("below the screen") << u"0:5000:600:400"_s << false;
    QTest::newRow("far to the left") << u"-5000:40:600:400"_s << false;
    QTest::newRow("far up and left, huge") << u"-100000:-100000:100000:100000"_s << false;
}

// Whatever was stored, the window is mapped with some size, its top edge can be taken on a
// screen, and that is what the next close saves.
void TestMainWindowGeometry::storedGeometryStaysInReach()
{
    QFETCH(QString, stored);
    QFETCH(bool, keptAsStored);

    WindowHarness h;
    h.writeSettings("[extracteur]\nForm1=" + stored.toUtf8() + "\n");
    TForm1 &window = h.open();
    QVERIFY(window.isVisible());
    QVERIFY(window.windowHandle()->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.width() >= 1 && window.height() >= 1);
    const QRect frame = window.frameGeometry();
    QVERIFY2(topEdgeOnAScreen(frame), qPrintable(u"%1,%2 %3x%4"_s.arg(frame.left())
                                                     .arg(frame.top())
                                                     .arg(frame.width())
                                                     .arg(frame.height())));
    if (keptAsStored)
        QCOMPARE(frame, parsed(stored));

    QVERIFY(window.close());
    const QRect saved = parsed(h.setting(u"extracteur"_s, u"Form1"_s));
    QCOMPARE(saved, frame);
}

QTEST_MAIN(TestMainWindowGeometry)
#include "tst_main_window_geometry.moc"
