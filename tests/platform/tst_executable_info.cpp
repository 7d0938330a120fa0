#include <QTest>

using namespace Qt::StringLiterals;

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
        QVERIFY(facts.versionMajorMinor.has_value());
        QCOMPARE(*facts.versionMajorMinor >> 16, quint32{EXTRACTEUR_VERSION_MAJOR});
        QCOMPARE(*facts.versionMajorMinor & 0xffff, quint32{EXTRACTEUR_VERSION_MINOR});
        QVERIFY(facts.filePath.endsWith(QStringLiteral("tst_executable_info")));
    }

    void applicationTitle_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cut at the first dot") << u"/apps/OUTIL.Liste.exe"_s << u"Outil"_s;
        QTest::newRow("first letter kept") << u"/usr/bin/extracteur"_s << u"extracteur"_s;
        QTest::newRow("accented letters lowered") << u"/apps/ÉDITEUR.EXE"_s << u"Éditeur"_s;
        QTest::newRow("dot in the folder ignored") << u"/Mes.outils/OUTIL"_s << u"Outil"_s;
        QTest::newRow("leading dot") << u"/apps/.cache"_s << QString();
        const QString folder = u"/"_s + QString(249, u'd');
        QTest::newRow("first 255 characters") << folder + u"/OUTILLAGE.exe"_s << u"Outi"_s;
        QTest::newRow("no path") << QString() << QString();
    }

    void applicationTitle()
    {
        QFETCH(QString, executable);
        QFETCH(QString, expected);
        ExecutableFacts facts;
        facts.filePath = executable;
        setExecutableFacts(facts);
        QCOMPARE(ApplicationTitle(), expected);
    }
};

QTEST_GUILESS_MAIN(TestExecutableInfo)
#include "tst_executable_info.moc"
