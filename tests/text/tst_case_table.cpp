#include <QTest>

#include "text/case_table.h"

using namespace Qt::Literals::StringLiterals;

class TestCaseTable : public QObject
{
    Q_OBJECT

private slots:
    void upperCased_data();
    void upperCased();
};

void TestCaseTable::upperCased_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("upper");

    QTest::newRow("ascii") << u"abc@Def.fr 09"_s << u"ABC@DEF.FR 09"_s;
    QTest::newRow("accents") << u"éèçñ"_s << u"ÉÈÇÑ"_s;
    QTest::newRow("sharp s stays") << u"straße"_s << u"STRAßE"_s;
    QTest::newRow("long s") << u"\u017F"_s << u"S"_s;
    QTest::newRow("final sigma") << u"ς"_s << u"Σ"_s;
    QTest::newRow("dz digraph") << u"\u01C6"_s << u"\u01C4"_s;
    QTest::newRow("ligature stays") << u"\uFB01"_s << u"\uFB01"_s;
    QTest::newRow("astral letter stays") << u"\U00010428"_s << u"\U00010428"_s;
    QTest::newRow("lone surrogates") << u"\xD801\xDC28"_s.mid(1) + u"\xD801"_s << u"\xDC28\xD801"_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestCaseTable::upperCased()
{
    QFETCH(QString, text);
    QFETCH(QString, upper);

    const QString result = UpperCased(text);
    QCOMPARE(result, upper);
    QCOMPARE(result.size(), text.size());
}

QTEST_GUILESS_MAIN(TestCaseTable)
#include "tst_case_table.moc"
