#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include "cli/cli_process.h"
#include "support/fixtures.h"
#include "support/window_harness.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray utf16be(const QString &text)
{
    QByteArray bytes = "\xfe\xff";
    for (QChar c : text) {
        bytes += char(c.unicode() >> 8);
        bytes += char(c.unicode() & 0xff);
    }
    return bytes;
}

} // namespace

// The command line with --tokens gives, for one file, the text the window copies with Ctrl+Shift+C after the
// file is dropped and extracted, with LF for CR LF.
class TestCliWindow : public QObject
{
    Q_OBJECT

private slots:
    void sameAsTheWindowsCopy_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("a mail in UTF-8 after its mark") << QByteArray(
            "\xef\xbb\xbf"
            "From: \"Dupont, Jean\" <jean.dupont@exemple.fr>\r\n"
            "To: marie.curie@labo.org, pierre.martin@societe.com\r\n"
            "Cc: \xc3\x89lise Nu\xc3\xb1"
            "ez <elise.nunez@mairie-lyon.fr>; rene.roux@courriel.net\r\n\r\n"
            "Contact : secretariat@asso.org (secr\xc3\xa9tariat)\r\n"
            "> \"Zo\xc3\xa9 Fontaine\" <zoe.fontaine@univ-paris.fr>, paul@entreprise.eu\r\n");
        QTest::newRow("Windows-1252: quotes, doubled quotes, commas, tabs, no final line end")
            << QByteArray("\"Dupont, Jean\" <jd@ex.fr>;\tmarie@x.org,,\"a\"\"b@c\" \xe9@\xe8\r\n"
                          "  mailto:p@q.fr (bureau)\r\r\n\"non ferm\xe9 @ x\n@\n,,@,@@");
        QTest::newRow("UTF-16 BE: combining marks, non-breaking space, letters outside the BMP")
            << utf16be(u"e\u0301@x,\u00a0n@y \U0001D49C@z\u3000w@v\r\nA@B\u2028c@d"_s);
    }
    void sameAsTheWindowsCopy()
    {
        QFETCH(QByteArray, bytes);
        WindowHarness harness;
        const QString file = harness.writeFile(u"lignes.txt"_s, bytes);
        harness.writeSettings("[CASES_A_COCHER]\nchk_AUTO=1\n");
        harness.open({file});
        harness.focusList();
        QGuiApplication::clipboard()->setText(u"<avant la copie>"_s);
        WindowHarness::press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        const QString copied = QGuiApplication::clipboard()->text();
        QVERIFY(copied != u"<avant la copie>"_s);
        QVERIFY(!copied.isEmpty());

        const CliRun run = runCli(harness.dir(), {u"--tokens"_s, file});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QString::fromUtf8(run.out), QString(copied).replace(u"\r\n"_s, u"\n"_s));
    }
};

QTEST_MAIN(TestCliWindow)
#include "tst_cli_window.moc"
