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

    void baseName_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("withoutExtension");
        QTest::addColumn<QString>("baseName");
        QTest::newRow("outil.exe") << u"/apps/outil.exe"_s << u"/apps/outil"_s << u"outil"_s;
        QTest::newRow("cut at the last dot")
            << u"/apps/mon.outil.exe"_s << u"/apps/mon.outil"_s << u"mon.outil"_s;
        QTest::newRow("no extension, dotted folder")
            << u"/Mes.outils/outil"_s << u"/Mes.outils/outil"_s << u"outil"_s;
        QTest::newRow("leading dot belongs to the name")
            << u"/apps/.hidden"_s << u"/apps/.hidden"_s << u".hidden"_s;
        QTest::newRow(".hidden.exe")
            << u"/apps/.hidden.exe"_s << u"/apps/.hidden"_s << u".hidden"_s;
        QTest::newRow("trailing dot") << u"/apps/outil."_s << u"/apps/outil"_s << u"outil"_s;
    }

    void baseName()
    {
        QFETCH(QString, executable);
        QFETCH(QString, withoutExtension);
        QFETCH(QString, baseName);
        ExecutableFacts facts;
        facts.filePath = executable;
        setExecutableFacts(facts);
        QCOMPARE(ExecutablePathWithoutExtension(), withoutExtension);
        QCOMPARE(ExecutableBaseName(), baseName);
    }
};

QTEST_GUILESS_MAIN(TestExecutableInfo)
#include "tst_executable_info.moc"
