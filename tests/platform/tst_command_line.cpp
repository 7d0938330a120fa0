#include <QTest>

#include "platform/command_line.h"

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void firstArgument_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        const QString program = QStringLiteral("/opt/extracteur");
        QTest::newRow("none") << QStringList{program} << QString();
        QTest::newRow("path with blanks")
            << QStringList{program, QStringLiteral("/tmp/mes listes/a b.txt")}
            << QStringLiteral("/tmp/mes listes/a b.txt");
        QTest::newRow("empty quotes skipped")
            << QStringList{program, QString(), QStringLiteral("liste.txt")}
            << QStringLiteral("liste.txt");
        QTest::newRow("only the first")
            << QStringList{program, QStringLiteral("a"), QStringLiteral("b")}
            << QStringLiteral("a");
        QTest::newRow("only empty") << QStringList{program, QString()} << QString();
    }
    void firstArgument()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QCOMPARE(FirstArgument(arguments), expected);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
