#include <optional>
#include <vector>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "errors/app_error.h"
#include "platform/executable_info.h"
#include "settings/option_states.h"
#include "settings/window_geometry.h"
#include "support/fixtures.h"

using namespace Qt::StringLiterals;

namespace {

// A window whose setters take effect at once, and which remembers every call in order.
class FakeWindow : public GeometryWindow
{
public:
    FakeWindow(QRect frame, QRect workArea) : m_frame(frame), m_workArea(workArea) {}

    QRect frameGeometry() const override { return m_frame; }
    QRect workArea() const override { return m_workArea; }
    void setLeft(int left) override
    {
        m_calls << u"left %1"_s.arg(left);
        m_frame.moveLeft(left);
    }
    void setTop(int top) override
    {
        m_calls << u"top %1"_s.arg(top);
        m_frame.moveTop(top);
    }
    void setWidth(int width) override
    {
        m_calls << u"width %1"_s.arg(width);
        m_frame.setWidth(width);
    }
    void setHeight(int height) override
    {
        m_calls << u"height %1"_s.arg(height);
        m_frame.setHeight(height);
    }

    QStringList m_calls;

private:
    QRect m_frame;
    QRect m_workArea;
};

const QRect workArea1920(0, 0, 1920, 1040);

} // namespace

class TestWindowGeometry : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_ini;

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_ini = m_dir.filePath(u"Outil.INI"_s);
        QFile::remove(m_ini);
        useExecutableIn(m_dir.path(), u"Outil.exe"_s);
    }

    void loadWindowGeometry_data()
    {
        QTest::addColumn<std::optional<QString>>("stored");
        QTest::addColumn<QRect>("before");
        QTest::addColumn<QRect>("workArea");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QRect>("after");
        QTest::addColumn<QString>("error");

        const QRect start(30, 40, 616, 438);
        using S = std::optional<QString>;
        QTest::newRow("stored geometry applied")
            << S(u"120:80:640:480"_s) << start << workArea1920
            << QStringList{u"left 120"_s, u"top 80"_s, u"width 640"_s, u"height 480"_s}
            << QRect(120, 80, 640, 480) << QString();
        QTest::newRow("left beyond the work area pulled back by the current width")
            << S(u"2500:100:800:600"_s) << start << workArea1920
            << QStringList{u"left 2500"_s, u"left 1304"_s, u"top 100"_s, u"width 800"_s,
                           u"height 600"_s}
            << QRect(1304, 100, 800, 600) << QString();
        QTest::newRow("left at the work-area width kept")
            << S(u"1920:0:100:100"_s) << start << workArea1920
            << QStringList{u"left 1920"_s, u"top 0"_s, u"width 100"_s, u"height 100"_s}
            << QRect(1920, 0, 100, 100) << QString();
        // The bound uses the work area's width, not its right edge.
        QTest::newRow("work area not at the origin")
            << S(u"1900:0:100:100"_s) << start << QRect(100, 0, 1820, 1040)
            << QStringList{u"left 1900"_s, u"left 1204"_s, u"top 0"_s, u"width 100"_s,
                           u"height 100"_s}
            << QRect(1204, 0, 100, 100) << QString();
        QTest::newRow("negative left kept")
            << S(u"-200:80:640:480"_s) << start << workArea1920
            << QStringList{u"left -200"_s, u"top 80"_s, u"width 640"_s, u"height 480"_s}
            << QRect(-200, 80, 640, 480) << QString();
        QTest::newRow("negative top raised to 0")
            << S(u"120:-50:640:480"_s) << start << workArea1920
            << QStringList{u"left 120"_s, u"top -50"_s, u"top 0"_s, u"width 640"_s, u"height 480"_s}
            << QRect(120, 0, 640, 480) << QString();
        QTest::newRow("top below the work area kept")
            << S(u"120:5000:640:480"_s) << start << workArea1920
            << QStringList{u"left 120"_s, u"top 5000"_s, u"width 640"_s, u"height 480"_s}
            << QRect(120, 5000, 640, 480) << QString();
        QTest::newRow("width clamped") << S(u"0:0:3000:480"_s) << start << workArea1920
                                       << QStringList{u"left 0"_s, u"top 0"_s, u"width 3000"_s,
                                                      u"width 1920"_s, u"height 480"_s}
                                       << QRect(0, 0, 1920, 480) << QString();
        QTest::newRow("height clamped") << S(u"0:0:640:2000"_s) << start << workArea1920
                                        << QStringList{u"left 0"_s, u"top 0"_s, u"width 640"_s,
                                                       u"height 2000"_s, u"height 1040"_s}
                                        << QRect(0, 0, 640, 1040) << QString();
        QTest::newRow("full work area kept")
            << S(u"0:0:1920:1040"_s) << start << workArea1920
            << QStringList{u"left 0"_s, u"top 0"_s, u"width 1920"_s, u"height 1040"_s}
            << QRect(0, 0, 1920, 1040) << QString();
        QTest::newRow("fifth part ignored")
            << S(u"10:20:300:400:500"_s) << start << workArea1920
            << QStringList{u"left 10"_s, u"top 20"_s, u"width 300"_s, u"height 400"_s}
            << QRect(10, 20, 300, 400) << QString();
        QTest::newRow("integer text forms")
            << S(u" $10:+20:0x12C:0400"_s) << start << workArea1920
            << QStringList{u"left 16"_s, u"top 20"_s, u"width 300"_s, u"height 400"_s}
            << QRect(16, 20, 300, 400) << QString();
        QTest::newRow("no entry: current geometry, bounds applied")
            << S() << QRect(2000, -10, 700, 500) << workArea1920
            << QStringList{u"left 2000"_s, u"left 1220"_s, u"top -10"_s,
                           u"top 0"_s,     u"width 700"_s, u"height 500"_s}
            << QRect(1220, 0, 700, 500) << QString();
        QTest::newRow("abc") << S(u"abc"_s) << start << workArea1920 << QStringList() << start
                             << u"''abc'' n'est pas une valeur entière valide"_s;
        QTest::newRow("empty second part: left already applied")
            << S(u"10::300:400"_s) << start << workArea1920 << QStringList{u"left 10"_s}
            << QRect(10, 40, 616, 438) << u"'''' n'est pas une valeur entière valide"_s;
        QTest::newRow("empty first part")
            << S(u":10:20:30"_s) << start << workArea1920 << QStringList() << start
            << u"'''' n'est pas une valeur entière valide"_s;
        QTest::newRow("bad height after the clamps")
            << S(u"2500:-5:3000:4x"_s) << start << workArea1920
            << QStringList{u"left 2500"_s, u"left 1304"_s,  u"top -5"_s,
                           u"top 0"_s,     u"width 3000"_s, u"width 1920"_s}
            << QRect(1304, 0, 1920, 438) << u"''4x'' n'est pas une valeur entière valide"_s;
        QTest::newRow("out of range")
            << S(u"99999999999:0:0:0"_s) << start << workArea1920 << QStringList() << start
            << u"''99999999999'' n'est pas une valeur entière valide"_s;
        QTest::newRow("three parts: stops quietly")
            << S(u"10:20:300:"_s) << start << workArea1920
            << QStringList{u"left 10"_s, u"top 20"_s, u"width 300"_s} << QRect(10, 20, 300, 438)
            << QString();
        QTest::newRow("one part") << S(u"10"_s) << start << workArea1920
                                  << QStringList{u"left 10"_s} << QRect(10, 40, 616, 438)
                                  << QString();
        QTest::newRow("empty value: nothing applied")
            << S(QString()) << start << workArea1920 << QStringList() << start << QString();
    }

    void loadWindowGeometry()
    {
        QFETCH(std::optional<QString>, stored);
        QFETCH(QRect, before);
        QFETCH(QRect, workArea);
        QFETCH(QStringList, calls);
        QFETCH(QRect, after);
        QFETCH(QString, error);
        if (stored)
            writeBytes(m_ini, "[Outil]\nForm1=" + stored->toUtf8() + '\n');
        FakeWindow window(before, workArea);
        QString raised;
        try {
            LoadWindowGeometry(window);
        } catch (const ConversionError &conversionError) {
            raised = conversionError.message();
        }
        QCOMPARE(raised, error);
        QCOMPARE(window.m_calls, calls);
        QCOMPARE(window.frameGeometry(), after);
    }

    // The section is the executable's base name in its own letter case.
    void geometrySectionKeepsTheNameCase()
    {
        writeBytes(m_ini, "[OUTIL]\nForm1=1:2:3:4\n[Outil]\nForm1=120:80:640:480\n");
        FakeWindow window(QRect(0, 0, 10, 10), workArea1920);
        LoadWindowGeometry(window);
        // Sections match without regard to case: the first one wins.
        QCOMPARE(window.frameGeometry(), QRect(1, 2, 3, 4));

        SaveWindowGeometry(FakeWindow(QRect(5, 6, 700, 800), workArea1920));
        QCOMPARE(readBytes(m_ini), QByteArray("[OUTIL]\nForm1=5:6:700:800\n[Outil]\n"
                                              "Form1=120:80:640:480\n"));
    }

    void firstStartThenClose()
    {
        const QRect placed(37, 51, 616, 438);
        FakeWindow window(placed, workArea1920);
        std::vector<OptionState> options{{u"chk_AUTO"_s, true}};
        LoadWindowGeometry(window);
        LoadOptionStates(options);
        QCOMPARE(window.frameGeometry(), placed);
        QCOMPARE(options.front().checked, true);
        QVERIFY(!QFile::exists(m_ini));

        SaveWindowGeometry(window);
        SaveOptionStates(options);
        QCOMPARE(readBytes(m_ini),
                 QByteArray("[Outil]\nForm1=37:51:616:438\n[CASES_A_COCHER]\nchk_AUTO=1\n"));
    }

    void closeAfterADrop()
    {
        writeBytes(m_ini, "[FICHIER]\nIMPORT=/donnees/contacts.txt\n");
        SaveWindowGeometry(FakeWindow(QRect(120, 80, 640, 480), workArea1920));
        SaveOptionStates({{u"chk_AUTO"_s, true}});
        QCOMPARE(readBytes(m_ini), QByteArray("[FICHIER]\nIMPORT=/donnees/contacts.txt\n"
                                              "[Outil]\nForm1=120:80:640:480\n"
                                              "[CASES_A_COCHER]\nchk_AUTO=1\n"));

        FakeWindow restored(QRect(0, 0, 616, 438), workArea1920);
        LoadWindowGeometry(restored);
        QCOMPARE(restored.frameGeometry(), QRect(120, 80, 640, 480));
    }

    void loadOptionStates_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("design");
        QTest::addColumn<bool>("expected");
        QTest::newRow("0 unchecks")
            << QByteArray("[CASES_A_COCHER]\nchk_AUTO=0\n") << true << false;
        QTest::newRow("1 checks") << QByteArray("[CASES_A_COCHER]\nchk_AUTO=1\n") << false << true;
        QTest::newRow("yes keeps the design state")
            << QByteArray("[CASES_A_COCHER]\nchk_AUTO=yes\n") << true << true;
        QTest::newRow("missing entry keeps the design state")
            << QByteArray("[CASES_A_COCHER]\nchk_AUTRE=0\n") << true << true;
        QTest::newRow("other section ignored")
            << QByteArray("[Outil]\nchk_AUTO=0\n") << true << true;
    }

    void loadOptionStates()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, design);
        QFETCH(bool, expected);
        writeBytes(m_ini, file);
        std::vector<OptionState> options{{u"chk_AUTO"_s, design}};
        LoadOptionStates(options);
        QCOMPARE(options.front().checked, expected);
    }

    void optionStatesRoundTripInOrder()
    {
        SaveOptionStates({{u"chk_B"_s, false}, {u"chk_A"_s, true}});
        QCOMPARE(readBytes(m_ini), QByteArray("[CASES_A_COCHER]\nchk_B=0\nchk_A=1\n"));
        std::vector<OptionState> options{{u"chk_A"_s, false}, {u"chk_B"_s, true}};
        LoadOptionStates(options);
        QCOMPARE(options[0].checked, true);
        QCOMPARE(options[1].checked, false);
    }

    void saveFailureStopsAtTheWrite()
    {
        ExecutableFacts facts;
        facts.filePath = m_dir.filePath(u"absent/Outil.exe"_s);
        setExecutableFacts(facts);
        try {
            SaveWindowGeometry(FakeWindow(QRect(1, 2, 3, 4), workArea1920));
            QFAIL("the write was reported as done");
        } catch (const SettingsWriteError &error) {
            QCOMPARE(error.message(),
                     u"Impossible d'écrire dans "_s + m_dir.filePath(u"absent/Outil.INI"_s));
        }
        QVERIFY_THROWS_EXCEPTION(SettingsWriteError, SaveOptionStates({{u"chk_AUTO"_s, true}}));
    }
};

QTEST_GUILESS_MAIN(TestWindowGeometry)
#include "tst_window_geometry.moc"
