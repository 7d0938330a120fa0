#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "io/text_file.h"
#include "platform/process_signals.h"
#include "support/write_fixtures.h"
#include "settings/settings_file.h"
#include "support/fixtures.h"

using namespace Qt::StringLiterals;

// Kills a process with SIGKILL at random moments while it saves a large list or writes the
// settings file, over and over: after every kill the target must be the old or the new file,
// complete, and the next save must leave no temporary behind. The number of kills comes from
// EXTRACTEUR_CRASH_KILLS (50 by default), shared between the two writers.

namespace {

// Two complete contents of distinct lengths, so that any cut or mix is seen.
QByteArray listContent(char letter, int lines)
{
    QByteArray line = QByteArray(40, letter) + "@exemple.fr\r\n";
    return line.repeated(lines);
}

const QByteArray listMark = "\xEF\xBB\xBF";
const QByteArray firstList = listMark + listContent('a', 40000);
const QByteArray secondList = listMark + listContent('b', 52000);

QByteArray settingsContent(const QString &value)
{
    return "[FICHIER]\nIMPORT=" + value.toUtf8() + "\n[outil]\nForm1=1:2:3:4\n[CASES_A_COCHER]\n" +
           "chk_AUTO=1\n";
}

const QString firstValue = u"/donnees/liste.txt"_s;
const QString secondValue = u"/donnees/une/autre/liste/bien/plus/longue.txt"_s;

// Runs in the child process until it is killed; writes one "." to its output after each
// completed save.
[[noreturn]] void writeForever(const QString &kind, const QString &path)
{
    IgnoreWriteSignals();
    for (bool second = false;; second = !second) {
        if (kind == u"list"_s) {
            const QByteArray &content = second ? secondList : firstList;
            WriteWholeFile(path, listMark, QByteArrayView(content).sliced(listMark.size()));
        } else {
            SettingsFile::WriteText(u"FICHIER"_s, u"IMPORT"_s, second ? secondValue : firstValue,
                                    path);
        }
        std::fputc('.', stdout);
        std::fflush(stdout);
    }
}

int killCount()
{
    bool ok = false;
    const int kills = qEnvironmentVariableIntValue("EXTRACTEUR_CRASH_KILLS", &ok);
    return ok && kills > 0 ? kills : 50;
}

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killedWriterLeavesOldOrNewFile_data();
    void killedWriterLeavesOldOrNewFile();
};

void TestCrashSafety::killedWriterLeavesOldOrNewFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("list") << u"list"_s;
    QTest::newRow("settings") << u"settings"_s;
}

void TestCrashSafety::killedWriterLeavesOldOrNewFile()
{
    QFETCH(QString, kind);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const bool list = kind == u"list"_s;
    const QString path = dir.filePath(list ? u"ADRESSES.TXT"_s : u"outil.INI"_s);
    const QByteArray first = list ? firstList : settingsContent(firstValue);
    const QByteArray second = list ? secondList : settingsContent(secondValue);
    writeBytes(path, first);
    // Save number n writes the first content when n is odd.
    const auto contentAfter = [&](qint64 saves) { return saves % 2 == 0 ? second : first; };

    const int kills = (killCount() + 1) / 2;
    for (int kill = 0; kill < kills; ++kill) {
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({u"--write-forever"_s, kind, path});
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start();
        QVERIFY(child.waitForStarted());
        // Time one whole save, then kill anywhere within the next two.
        QElapsedTimer clock;
        qint64 saves = 0;
        while (saves < 2) {
            QVERIFY(child.waitForReadyRead(60000));
            if (saves == 0)
                clock.start();
            saves += child.readAll().size();
        }
        const qint64 cycle = std::max<qint64>(clock.elapsed(), 1);
        QThread::usleep(QRandomGenerator::global()->bounded(quint64(cycle) * 2000));
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        saves += child.readAll().size();

        // The last completed save, or the one under way when the kill came.
        const QByteArray found = readBytes(path);
        QVERIFY2(found == contentAfter(saves) || found == contentAfter(saves + 1),
                 qPrintable(
                     u"after kill %1 the target holds %2 bytes"_s.arg(kill + 1).arg(found.size())));
    }

    if (list)
        WriteWholeFile(path, listMark, QByteArrayView(first).sliced(listMark.size()));
    else
        SettingsFile::WriteText(u"FICHIER"_s, u"IMPORT"_s, firstValue, path);
    QCOMPARE(readBytes(path), first);
    QCOMPARE(namesIn(dir.path()), QStringList{QFileInfo(path).fileName()});
}

int main(int argc, char *argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--write-forever") == 0)
        writeForever(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    QCoreApplication application(argc, argv);
    TestCrashSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash_safety.moc"
