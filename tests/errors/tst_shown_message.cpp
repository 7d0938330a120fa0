#include <QTest>

#include "errors/shown_message.h"

using namespace Qt::StringLiterals;

class TestShownMessage : public QObject
{
    Q_OBJECT

private slots:
    void fullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << u"Erreur d'écriture dans le flux"_s
                                << u"Erreur d'écriture dans le flux."_s;
        QTest::newRow("full stop kept") << u"Fin."_s << u"Fin."_s;
        QTest::newRow("closing quote") << u"Le fichier \"a\""_s << u"Le fichier \"a\""_s;
        QTest::newRow("closing bracket") << u"(vide)"_s << u"(vide)"_s;
        QTest::newRow("question mark") << u"Vraiment ?"_s << u"Vraiment ?."_s;
        QTest::newRow("digit") << u"Code 2"_s << u"Code 2."_s;
        QTest::newRow("accented letter") << u"Refusé"_s << u"Refusé."_s;
        QTest::newRow("empty") << QString() << QString();
    }

    void fullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ShownMessage(message), shown);
    }
};

QTEST_GUILESS_MAIN(TestShownMessage)
#include "tst_shown_message.moc"
