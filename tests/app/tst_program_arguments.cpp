#include <QDir>
#include <QTest>

#include "platform/command_line.h"
#include "support/window_harness.h"

using namespace Qt::StringLiterals;

// The application is built the way the program builds it, from a command line whose argument is
// a file named like a Qt option.
class TestProgramArguments : public QObject
{
    Q_OBJECT

public:
    explicit TestProgramArguments(QStringList arguments) : m_arguments(std::move(arguments)) {}

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void qtTakesNoArgument()
    {
        QCOMPARE(QCoreApplication::arguments().size(), 1);
        QCOMPARE(QGuiApplication::layoutDirection(), Qt::LeftToRight);
    }

    void fileNamedLikeAQtOptionIsLoaded()
    {
        WindowHarness h;
        h.writeFile(u"souvenir.txt"_s, "souvenir@x\r\n");
        h.writeSettings("[FICHIER]\nIMPORT=" + h.path(u"souvenir.txt"_s).toUtf8() +
                        "\n[CASES_A_COCHER]\nchk_AUTO=0\n");
        h.writeFile(m_arguments.at(1), "a@b\r\nc@d\r\n");
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(h.dir()));
        TForm1 &window = h.open(m_arguments.mid(1));
        QDir::setCurrent(before);

        QCOMPARE(h.entries(), QStringList({u"a@b"_s, u"c@d"_s}));
        QCOMPARE(window.layoutDirection(), Qt::LeftToRight);
        QVERIFY(h.dialogs().errors.isEmpty());
    }

private:
    QStringList m_arguments;
};

int main(int argc, char *argv[])
{
    const char *const commandLine[] = {argc > 0 ? argv[0] : "tst", "-reverse", nullptr};
    ProcessArguments arguments(2, commandLine);
    QApplication application(arguments.qtArgc(), arguments.qtArgv());
    TestProgramArguments test(arguments.arguments());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program_arguments.moc"
