#include <QFontMetrics>
#include <QScrollBar>
#include <QTest>

#include "app/address_list.h"
#include "app/check_list_box.h"

// The horizontal scroll range covers the widest entry followed by one blank, plus the check
// column; it follows additions, stays through a sort and goes back to zero when the list is
// cleared.
class TestCheckListBox : public QObject
{
    Q_OBJECT

private slots:
    void rangeCoversTheWidestEntry()
    {
        AddressList list;
        CheckListBox view;
        view.setAddressList(&list);
        view.resize(200, 150);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QFontMetrics metrics(view.font());
        auto expected = [&](const QString &text) {
            return metrics.horizontalAdvance(text + QLatin1Char(' ')) + view.checkColumnWidth();
        };

        TextTable entries;
        const QString narrow = QString(40, QLatin1Char('i'));
        const QString wide = QStringLiteral("WWWWWWWWWWWWWWWWWWWW@MMMMMMMMMM");
        for (int i = 0; i < 5000; ++i)
            entries.append(i == 3777 ? QStringView(wide) : QStringView(narrow));
        list.Assign(entries, TextEncoding::SystemCodePage);
        QCOMPARE(view.contentWidth(), expected(wide));
        QTRY_VERIFY(view.horizontalScrollBar()->maximum() > 0);
        QCOMPARE(view.horizontalScrollBar()->maximum(), expected(wide) - view.viewport()->width());

        const QString wider = wide + wide;
        list.Add(wider);
        QCOMPARE(view.contentWidth(), expected(wider));

        // A sort keeps the entries, so it keeps the range it had.
        list.setSorted(true);
        QCOMPARE(view.contentWidth(), expected(wider));
        QTRY_COMPARE(view.horizontalScrollBar()->maximum(),
                     expected(wider) - view.viewport()->width());

        list.Clear();
        QCOMPARE(view.contentWidth(), 0);
        QTRY_COMPARE(view.horizontalScrollBar()->maximum(), 0);
    }
};

QTEST_MAIN(TestCheckListBox)
#include "tst_check_list_box.moc"
