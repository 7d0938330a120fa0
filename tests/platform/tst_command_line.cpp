#include <vector>

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

    // Whatever the arguments look like, they stay the program's and Qt is given the path alone.
    void processArguments_data()
    {
        QTest::addColumn<QByteArrayList>("argv");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no argument")
            << QByteArrayList{"/opt/extracteur"} << QStringList{QStringLiteral("/opt/extracteur")};
        QTest::newRow("a file named like a Qt option")
            << QByteArrayList{"/opt/extracteur", "-reverse"}
            << QStringList{QStringLiteral("/opt/extracteur"), QStringLiteral("-reverse")};
        QTest::newRow("option with its value")
            << QByteArrayList{"/opt/extracteur", "-style", "fusion"}
            << QStringList{QStringLiteral("/opt/extracteur"), QStringLiteral("-style"),
                           QStringLiteral("fusion")};
        QTest::newRow("accented path")
            << QByteArrayList{"/opt/extracteur", "/tmp/liste d\xc3\xa9j\xc3\xa0 vue.txt"}
            << QStringList{QStringLiteral("/opt/extracteur"),
                           QStringLiteral("/tmp/liste déjà vue.txt")};
    }
    void processArguments()
    {
        QFETCH(QByteArrayList, argv);
        QFETCH(QStringList, arguments);
        std::vector<const char *> pointers;
        for (const QByteArray &argument : argv)
            pointers.push_back(argument.constData());
        pointers.push_back(nullptr);

        ProcessArguments process(static_cast<int>(argv.size()), pointers.data());
        QCOMPARE(process.arguments(), arguments);
        QCOMPARE(process.qtArgc(), 1);
        QCOMPARE(QByteArray(process.qtArgv()[0]), argv.first());
        QCOMPARE(process.qtArgv()[1], nullptr);
    }

    void noProgramPath()
    {
        const char *const argv[] = {nullptr};
        ProcessArguments process(0, argv);
        QVERIFY(process.arguments().isEmpty());
        QCOMPARE(process.qtArgc(), 1);
        QVERIFY(process.qtArgv()[0] != nullptr);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
