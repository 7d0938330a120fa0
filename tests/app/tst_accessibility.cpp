#include <QAccessible>
#include <QTest>

#include "support/window_harness.h"

using namespace Qt::StringLiterals;

namespace {

QString spokenName(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : u"<no interface>"_s;
}

} // namespace

// What a screen reader hears of the status bar: each panel's current text as its name (a label
// without a name of its own, so Qt announces each change of it), and which panel it is.
class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void panelsSpeakTheirText()
    {
        WindowHarness h;
        h.openWithLines({u"Nom <a@b.fr>, c@d.fr"_s, u"sans adresse"_s});
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(spokenName(h.panelLabel(i)), QString());
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(h.panelLabel(i));
            QCOMPARE(iface->text(QAccessible::Description), u"Barre d'état, panneau %1"_s.arg(i));
        }

        h.click(h.checkPoint(1));
        QCOMPARE(spokenName(h.panelLabel(1)), u"1"_s);
        QCOMPARE(spokenName(h.panelLabel(2)), u"1"_s);
        QCOMPARE(spokenName(h.panelLabel(3)), u"sans adresse"_s);

        WindowHarness::press(Qt::Key_F5);
        QCOMPARE(h.panel(0), u"2 adresses"_s);
        QCOMPARE(spokenName(h.panelLabel(0)), u"2 adresses"_s);
        QVERIFY(h.panelLabel(0)->accessibleName().isEmpty());
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
