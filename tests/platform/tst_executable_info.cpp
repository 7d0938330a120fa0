#include <QTest>

#include "platform/executable_info.h"

class TestExecutableInfo : public QObject
{
    Q_OBJECT

private slots:
    void dateSeparator_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("separator");
        QTest::newRow("slash") << QStringLiteral("dd/MM/yyyy") << QStringLiteral("/");
        QTest::newRow("full stop") << QStringLiteral("dd.MM.yyyy") << QStringLiteral(".");
        QTest::newRow("hyphen, year first") << QStringLiteral("yyyy-MM-dd") << QStringLiteral("-");
        QTest::newRow("short fields") << QStringLiteral("d/M/yy") << QStringLiteral("/");
        QTest::newRow("none") << QStringLiteral("yyyyMMdd") << QString();
        QTest::newRow("longer than one") << QStringLiteral("dd. MM. yyyy") << QStringLiteral("/");
        QTest::newRow("text before") << QStringLiteral("'le' dd-MM-yyyy") << QStringLiteral("-");
    }
    void dateSeparator()
    {
        QFETCH(QString, format);
        QFETCH(QString, separator);
        QCOMPARE(DateSeparatorOf(format), separator);
    }

    void processFactsCarryTheProductVersion()
    {
        const ExecutableFacts facts = readProcessExecutableFacts();
        QVERIFY(facts.fileVersionMs.has_value());
        QCOMPARE(*facts.fileVersionMs >> 16, quint32{EXTRACTEUR_VERSION_MAJOR});
        QCOMPARE(*facts.fileVersionMs & 0xffff, quint32{EXTRACTEUR_VERSION_MINOR});
        QVERIFY(facts.filePath.endsWith(QStringLiteral("tst_executable_info")));
    }
};

QTEST_GUILESS_MAIN(TestExecutableInfo)
#include "tst_executable_info.moc"
