#include <QApplication>
#include <QStyle>
#include <QTest>

#include "app/french_texts.h"
#include "app/theme.h"

class TestTheme : public QObject
{
    Q_OBJECT

private slots:
    void carriedThemeIsFoundIgnoringCase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::newRow("as named") << QStringLiteral("Metropolis UI Blue") << true;
        QTest::newRow("other case") << QStringLiteral("metropolis ui BLUE") << true;
        QTest::newRow("other name") << QStringLiteral("Metropolis UI Green") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void carriedThemeIsFoundIgnoringCase()
    {
        QFETCH(QString, name);
        QFETCH(bool, found);
        QCOMPARE(!FindCarriedTheme(name).name.isEmpty(), found);
    }

    void qtTextsAreFrench()
    {
        QVERIFY(InstallFrenchTexts(*qApp));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QStringLiteral("Annuler"));
    }

    void selectStyleLooksAtLoadedStylesThenCarriedOnes()
    {
        auto *app = qApp;
        QVERIFY(SelectStyle(*app, QStringLiteral("FUSION")));
        QCOMPARE(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
        QVERIFY(app->styleSheet().isEmpty());

        QVERIFY(SelectStyle(*app, DefaultThemeName()));
        QVERIFY(app->styleSheet().contains(QStringLiteral("QListView")));

        const QString before = app->styleSheet();
        QVERIFY(!SelectStyle(*app, QStringLiteral("Inexistant")));
        QCOMPARE(app->styleSheet(), before);
    }
};

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
