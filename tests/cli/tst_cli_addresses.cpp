#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include "cli/cli_process.h"
#include "support/fixtures.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray utf16le(const QString &text)
{
    QByteArray bytes;
    for (QChar c : text) {
        bytes += char(c.unicode() & 0xff);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

QByteArray utf16be(const QString &text)
{
    QByteArray bytes;
    for (QChar c : text) {
        bytes += char(c.unicode() >> 8);
        bytes += char(c.unicode() & 0xff);
    }
    return bytes;
}

// A fixture of the container tests, found from this file's folder.
QString containerFixture(const QString &name)
{
    return QFINDTESTDATA(u"formats/fixtures/"_s + name);
}

QStringList sortedLines(const QByteArray &out)
{
    QStringList lines = QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    return lines;
}

} // namespace

// extracteur-cli in its own mode: addresses, read as streams.
class TestCliAddresses : public QObject
{
    Q_OBJECT

private:
    CliFolder *m_dir = nullptr;

    CliRun run(const QStringList &arguments, const QByteArray &input = QByteArray()) const
    {
        return runCli(m_dir->path(), arguments, input);
    }

private slots:
    void init()
    {
        m_dir = new CliFolder;
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        delete m_dir;
        m_dir = nullptr;
    }

    // How the bytes of a plain text are read, and where its lines end.
    void reading_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("UTF-8 without a mark is UTF-8")
            << QStringList{u"--source"_s} << u"Contact : élodie.moreau@exemple.fr\n"_s.toUtf8()
            << u"in.txt\t1\télodie.moreau@exemple.fr\n"_s.toUtf8();
        QTest::newRow("Windows-1252 where a line is not UTF-8, UTF-8 where it is")
            << QStringList{} << QByteArray("\xe9lodie@exemple.fr\nzo\xc3\xa9@exemple.fr\n")
            << u"élodie@exemple.fr\nzoé@exemple.fr\n"_s.toUtf8();
        QTest::newRow("cp1252 named: UTF-8 bytes are Windows-1252 too")
            << QStringList{u"--input-encoding"_s, u"cp1252"_s}
            << QByteArray("zo\xc3\x8a@exemple.fr\n") << u"zoÃŠ@exemple.fr\n"_s.toUtf8();
        QTest::newRow("utf8 named, tokens too: a malformed byte becomes U+FFFD")
            << QStringList{u"--tokens"_s, u"--input-encoding=utf8"_s}
            << QByteArray("a\xff@exemple.fr\n") << u"a\ufffd@exemple.fr\n"_s.toUtf8();
        QTest::newRow("UTF-16 LE by its mark")
            << QStringList{} << "\xff\xfe" + utf16le(u"é@exemple.fr\r\nb@exemple.fr"_s)
            << u"é@exemple.fr\nb@exemple.fr\n"_s.toUtf8();
        QTest::newRow("UTF-16 BE named, without a mark")
            << QStringList{u"--input-encoding"_s, u"utf16be"_s} << utf16be(u"x é@exemple.fr"_s)
            << u"é@exemple.fr\n"_s.toUtf8();
        QTest::newRow("UTF-16 LE without a mark, told by its zero bytes")
            << QStringList{u"--source"_s}
            << utf16le(u"Contact : élodie@exemple.fr\r\nautre ligne, marc@labo.org\r\n"_s)
            << u"in.txt\t1\télodie@exemple.fr\nin.txt\t2\tmarc@labo.org\n"_s.toUtf8();
        QTest::newRow("UTF-16 BE without a mark, told by its zero bytes")
            << QStringList{} << utf16be(u"Contact : élodie@exemple.fr\n"_s)
            << u"élodie@exemple.fr\n"_s.toUtf8();
        // Read as Windows-1252, the text ends at the zero byte after its first letter.
        QTest::newRow("tokens keep the window's rule: no mark is Windows-1252")
            << QStringList{u"--tokens"_s} << utf16le(u"a@exemple.fr b@exemple.fr\n"_s)
            << QByteArray();
        QTest::newRow("LF, CR LF and CR each end a line; LF CR ends two")
            << QStringList{u"--source"_s}
            << QByteArray("a@exemple.fr\r\nb@exemple.fr\rc@exemple.fr\n\rd@exemple.fr")
            << QByteArray("in.txt\t1\ta@exemple.fr\nin.txt\t2\tb@exemple.fr\n"
                          "in.txt\t3\tc@exemple.fr\nin.txt\t5\td@exemple.fr\n");
        QTest::newRow("a zero byte does not end the text")
            << QStringList{} << QByteArray("a@exemple.fr\0b@exemple.fr\n", 26)
            << QByteArray("a@exemple.fr\nb@exemple.fr\n");
        QTest::newRow("the mark is no part of the first address") << QStringList{}
                                                                  << QByteArray("\xef\xbb\xbf"
                                                                                "a@exemple.fr\n")
                                                                  << QByteArray("a@exemple.fr\n");
    }
    void reading()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        m_dir->write(u"in.txt"_s, bytes);
        const CliRun result = run(arguments + QStringList{u"in.txt"_s});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, expected);
        QCOMPARE(result.exitCode, 0);
    }

    // Lines across the pieces the input is read in keep their numbers, and a line longer than
    // a piece still gives its addresses, whether the pieces are read on one thread or several.
    void largeInputs_data()
    {
        QTest::addColumn<QString>("jobs");
        QTest::addColumn<QByteArray>("mark");
        QTest::newRow("one thread") << u"1"_s << QByteArray();
        QTest::newRow("two threads") << u"2"_s << QByteArray();
        QTest::newRow("three threads") << u"3"_s << QByteArray();
        QTest::newRow("two threads, after a UTF-8 mark") << u"2"_s << QByteArray("\xEF\xBB\xBF");
    }
    void largeInputs()
    {
        QFETCH(QString, jobs);
        QFETCH(QByteArray, mark);
        QByteArray bytes = mark;
        QByteArray expected;
        int line = 1;
        while (bytes.size() < 3 * 1024 * 1024) {
            const QByteArray address = "n" + QByteArray::number(line) + "@exemple.fr";
            bytes += "texte " + address + (line % 3 == 0 ? "\r\n" : line % 3 == 1 ? "\n" : "\r");
            expected += "in.txt\t" + QByteArray::number(line) + '\t' + address + '\n';
            ++line;
        }
        QByteArray longLine;
        while (longLine.size() < 3 * 1024 * 1024)
            longLine += "long" + QByteArray::number(longLine.size()) + "@exemple.fr, ";
        bytes += longLine + "\nfin@exemple.fr\n";
        for (const QByteArray &address : longLine.split(',')) {
            if (!address.trimmed().isEmpty())
                expected += "in.txt\t" + QByteArray::number(line) + '\t' + address.trimmed() + '\n';
        }
        expected += "in.txt\t" + QByteArray::number(line + 1) + "\tfin@exemple.fr\n";
        m_dir->write(u"in.txt"_s, bytes);
        const CliRun result = run({u"-j"_s, jobs, u"--source"_s, u"in.txt"_s});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out.size(), expected.size());
        QVERIFY(result.out == expected);
        // Standard input and a pipe give the same.
        QVERIFY(run({u"-j"_s, jobs, u"--source"_s, u"-"_s}, bytes).out ==
                QByteArray(expected).replace("in.txt", "-"));
    }

    // A mailbox read on several threads is cut between messages only: the addresses and their
    // lines are those of one thread, also past a message longer than a piece.
    void largeMailboxes_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<bool>("longMessage");
        QTest::newRow("LF") << QByteArray("\n") << false;
        QTest::newRow("CR LF") << QByteArray("\r\n") << false;
        QTest::newRow("a message longer than a piece") << QByteArray("\n") << true;
    }
    void largeMailboxes()
    {
        QFETCH(QByteArray, lineEnd);
        QFETCH(bool, longMessage);
        QByteArray bytes;
        int expected = 0;
        for (int m = 0; bytes.size() < 3 * 1024 * 1024; ++m) {
            const QByteArray n = QByteArray::number(m);
            QByteArray body = "Bonjour, =C3=A9crire =C3=A0 contact" + n + "=40asso.org." + lineEnd;
            expected += 2;
            if (longMessage && m == 2000) {
                for (int k = 0; k < 30000; ++k)
                    body += "ligne " + QByteArray::number(k) + " de texte sans adresse" + lineEnd;
                body += "fin" + n + "@exemple.fr" + lineEnd;
                ++expected;
            }
            bytes += "From a@b Mon Dec  7 10:00:00 2026" + lineEnd + "From: <exp" + n +
                     "@exemple.fr>" + lineEnd + "Message-ID: <" + n + "@id.exemple.fr>" + lineEnd +
                     "Content-Type: text/plain; charset=utf-8" + lineEnd +
                     "Content-Transfer-Encoding: quoted-printable" + lineEnd + lineEnd + body +
                     lineEnd;
        }
        m_dir->write(u"in.mbox"_s, bytes);
        const CliRun one = run({u"-j"_s, u"1"_s, u"--source"_s, u"in.mbox"_s});
        QCOMPARE(one.exitCode, 0);
        QCOMPARE(one.out.count('\n'), expected);
        QVERIFY(one.out.contains("\tcontact0@asso.org\n"));
        QCOMPARE(one.out.contains("\tfin2000@exemple.fr\n"), longMessage);
        for (const QString &jobs : {u"2"_s, u"3"_s}) {
            const CliRun several = run({u"-j"_s, jobs, u"--source"_s, u"in.mbox"_s});
            QCOMPARE(several.exitCode, 0);
            QVERIFY(several.out == one.out);
        }
    }

    // A named pipe is read as its writer writes it.
    void fifoInput()
    {
        const QByteArray fifo = QFile::encodeName(m_dir->filePath(u"tube"_s));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QProcess writer;
        writer.start(u"/bin/sh"_s, {u"-c"_s, u"printf 'a@exemple.fr\\nB@Exemple.FR\\n' > \"$0\""_s,
                                    QString::fromUtf8(fifo)});
        const CliRun result = run({u"--source"_s, u"tube"_s});
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, QByteArray("tube\t1\ta@exemple.fr\ntube\t2\tB@exemple.fr\n"));
        QCOMPARE(result.exitCode, 0);
    }

    // Small hand-made inputs of what people hold, with the addresses a reader would want.
    void fixtures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("mail: RFC 2047 name, quoted-printable soft break and =40, base64 part, "
                      "no Message-ID")
            << QByteArray("From: =?UTF-8?B?w4lsb2RpZQ==?= <elodie@exemple.fr>\r\n"
                          "To: \"Jean\" <jean.dupont@exemple.fr>\r\n"
                          "Message-ID: <1234.abc@mail.exemple.fr>\r\n"
                          "MIME-Version: 1.0\r\n"
                          "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
                          "--b1\r\nContent-Type: text/plain; charset=utf-8\r\n"
                          "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                          "=C3=89crire =C3=A0 marie.cu=\r\nrie=40labo.fr ou <paul@societe.com>.\r\n"
                          "--b1\r\nContent-Type: text/plain\r\n"
                          "Content-Transfer-Encoding: base64\r\n\r\n"
                          "Q29udGFjdCA6IHpvZUB1bml2LmZyCg==\r\n--b1--\r\n")
            << QByteArray("elodie@exemple.fr\njean.dupont@exemple.fr\nmarie.curie@labo.fr\n"
                          "paul@societe.com\nzoe@univ.fr\n");
        QTest::newRow("web page: references, entities, mailto with a query, no file name")
            << QByteArray("<html><body><p><a href=\"mailto:anne%2Bx@exemple.fr?subject=Bonjour\">"
                          "Anne</a> luc&#64;exemple.fr, r&eacute;mi&commat;exemple.fr "
                          "<img src=\"logo@2x.png\"></p></body></html>\n")
            << u"anne+x@exemple.fr\nluc@exemple.fr\nrémi@exemple.fr\n"_s.toUtf8();
        QTest::newRow("punctuation and prefixes around addresses in plain text")
            << QByteArray("Texte: (a@b.fr). <c@d.fr>; to=<e@f.fr>, mailto:g@h.fr?x=1 "
                          "EMAIL;TYPE=WORK:i@j.fr \"k@l.fr\" 'm@n.fr'\n")
            << QByteArray("a@b.fr\nc@d.fr\ne@f.fr\ng@h.fr\ni@j.fr\nk@l.fr\nm@n.fr\n");
        QTest::newRow("what only looks like an address in plain text")
            << QByteArray("git@github.com:x/y root@localhost @media logo@2x.png "
                          "https://u:p@hote.fr/ @scope/pkg@1.2.3 jean [at] exemple [dot] fr\n")
            << QByteArray();
        QTest::newRow("delivery report: the people, not the return or bounce addresses")
            << QByteArray("Return-Path: <>\nFrom: MAILER-DAEMON@mx.exemple.fr\n"
                          "To: paul@exemple.fr\nContent-Type: multipart/report; "
                          "report-type=delivery-status; boundary=b\n\n--b\n"
                          "Content-Type: message/delivery-status\n\n"
                          "Final-Recipient: rfc822; lucie@laposte.net\n--b\n"
                          "Content-Type: text/rfc822-headers\n\n"
                          "Return-Path: <liste+paul=exemple.fr@listes.exemple.org>\n"
                          "Message-Id: <20240309.1111@mx.exemple.fr>\n--b--\n")
            << QByteArray("MAILER-DAEMON@mx.exemple.fr\npaul@exemple.fr\nlucie@laposte.net\n");
        QTest::newRow("SQL dump and mail log: escaped quotes, no message identifier")
            << QByteArray("INSERT INTO t VALUES (1,'o''brien@x.ie'),(2,'sean.o\\'connor@x.ie');\n"
                          "postfix/cleanup: 4Tq: message-id=<CAHk-=wh3s@mail.x.com>\n"
                          "postfix/qmgr: 4Tq: from=<nicolas@x.fr>, size=4521\n")
            << QByteArray("o'brien@x.ie\nsean.o'connor@x.ie\nnicolas@x.fr\n");
        QTest::newRow("the domain in lower case, the local part as written")
            << QByteArray("Jean.Dupont@Exemple.FR\n") << QByteArray("Jean.Dupont@exemple.fr\n");
    }
    void fixtures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        m_dir->write(u"in"_s, bytes);
        const CliRun result = run({u"in"_s});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, expected);
        QCOMPARE(result.exitCode, 0);
        // Read as a stream, the same.
        QCOMPARE(run({}, bytes).out, expected);
    }

    // Documents, compressed files and archives given as a user gives them.
    void containers_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("docx") << u"document.docx"_s
                              << QStringList{u"cellule@exemple.fr"_s,   u"champ@exemple.fr"_s,
                                             u"entete@exemple.fr"_s,    u"jean.dupont@exemple.fr"_s,
                                             u"relecteur@exemple.fr"_s, u"secretariat@exemple.fr"_s,
                                             u"voisine@exemple.fr"_s};
        QTest::newRow("xlsx") << u"classeur.xlsx"_s
                              << QStringList{u"calcul@exemple.fr"_s, u"compta@exemple.fr"_s,
                                             u"en.ligne@exemple.fr"_s, u"marie.curie@exemple.fr"_s};
        QTest::newRow("odt") << u"texte.odt"_s
                             << QStringList{u"contact@exemple.fr"_s, u"ligne@exemple.fr"_s,
                                            u"note@exemple.fr"_s, u"paul.durand@exemple.fr"_s,
                                            u"pied@exemple.fr"_s};
        QTest::newRow("ods") << u"tableur.ods"_s
                             << QStringList{u"luc.moreau@exemple.fr"_s, u"tableur@exemple.fr"_s};
        QTest::newRow("pdf") << u"brochure.pdf"_s
                             << QStringList{u"anne.bernard@exemple.fr"_s,
                                            u"fiona.martin@exemple.fr"_s, u"lien@exemple.fr"_s};
        QTest::newRow("tar.gz holding a zip holding an mbox.gz")
            << u"imbrique.tar.gz"_s
            << QStringList{u"liste@exemple.fr"_s, u"marc@exemple.fr"_s, u"tar@exemple.fr"_s,
                           u"zip@exemple.fr"_s};
    }
    void containers()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, expected);
        const QString input = containerFixture(file);
        QVERIFY2(!input.isEmpty(), qPrintable(file));
        const CliRun result = run({input});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(sortedLines(result.out), expected);
        QCOMPARE(result.exitCode, 0);
        // From standard input, told by its content alone.
        QFile bytes(input);
        QVERIFY(bytes.open(QIODevice::ReadOnly));
        QCOMPARE(sortedLines(run({}, bytes.readAll()).out), expected);
    }

    // A container that cannot be read to its end: what came before it is kept, the fault is
    // told in French naming it, the inputs after it are still read, and the status is 1.
    void containerFaults_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QString>("message");
        QTest::newRow("bomb over a small --max-expand")
            << u"bombe.zip"_s << QStringList{u"--max-expand"_s, u"8M"_s}
            << QStringList{u"avant.bombe@exemple.fr"_s}
            << u"Trop de données décompressées « bombe.zip » : plus de 8388608 octets "
               u"(--max-expand)"_s;
        QTest::newRow("truncated archive")
            << u"tronque.tar.gz"_s << QStringList() << QStringList{u"avant@exemple.fr"_s}
            << u"Archive illisible « tronque.tar.gz » : "_s;
        QTest::newRow("encrypted zip")
            << u"chiffre.zip"_s << QStringList() << QStringList{u"clair@exemple.fr"_s}
            << u"Membre chiffré, non lu « chiffre.zip//secret.txt »"_s;
    }
    void containerFaults()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, options);
        QFETCH(QStringList, kept);
        QFETCH(QString, message);
        QVERIFY(QFile::copy(containerFixture(file), m_dir->filePath(file)));
        m_dir->write(u"apres.txt"_s, "apres@exemple.fr\n");
        const CliRun result = run(options + QStringList{file, u"apres.txt"_s});
        const QString err = QString::fromUtf8(result.err);
        QVERIFY2(err.startsWith(message) && err.count(u'\n') == 1, qPrintable(err));
        QStringList expected = kept + QStringList{u"apres@exemple.fr"_s};
        expected.sort();
        QCOMPARE(sortedLines(result.out), expected);
        QCOMPARE(result.exitCode, 1);
    }

    // -u and -s on addresses: the same address in another case is the same, the first kept.
    void orderOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("unique") << QStringList{u"-u"_s}
                                << QByteArray("Zoe@exemple.fr\nbob@exemple.fr\nana@exemple.fr\n");
        QTest::newRow("sort") << QStringList{u"-s"_s}
                              << QByteArray("ana@exemple.fr\nbob@exemple.fr\nBOB@exemple.fr\n"
                                            "Zoe@exemple.fr\nzoe@exemple.fr\n");
        QTest::newRow("unique and sort")
            << QStringList{u"-us"_s}
            << QByteArray("ana@exemple.fr\nbob@exemple.fr\nZoe@exemple.fr\n");
        QTest::newRow("count of first occurrences")
            << QStringList{u"-cu"_s} << QByteArray("in.txt\t3\ntotal\t3\n");
        QTest::newRow("source of the first occurrences")
            << QStringList{u"-u"_s, u"--source"_s}
            << QByteArray("in.txt\t1\tZoe@exemple.fr\nin.txt\t2\tbob@exemple.fr\n"
                          "in.txt\t4\tana@exemple.fr\n");
        QTest::newRow("separator and NUL")
            << QStringList{u"-u"_s, u"-0"_s, u"--separator"_s, u", "_s}
            << QByteArray("Zoe@exemple.fr, bob@exemple.fr, ana@exemple.fr\0", 47);
    }
    void orderOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        m_dir->write(u"in.txt"_s,
                     "(Zoe@EXEMPLE.fr);\nbob@exemple.fr BOB@exemple.fr\nzoe@exemple.fr\n"
                     "ana@exemple.fr\n");
        const CliRun result = run(arguments + QStringList{u"in.txt"_s});
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, expected);
        QCOMPARE(result.exitCode, 0);
    }

    // --output: where it may write, and when it must leave the old file as it was.
    void outputFile_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QByteArray>("file");
        const QByteArray old = "ancien\r\n";
        QTest::newRow("- is standard output") << QStringList{u"-o"_s, u"-"_s, u"in.txt"_s} << 0
                                              << QByteArray("a@exemple.fr\n") << QString() << old;
        QTest::newRow("the null device") << QStringList{u"-o"_s, u"/dev/null"_s, u"in.txt"_s} << 0
                                         << QByteArray() << QString() << old;
        QTest::newRow("no input read: the old file stays")
            << QStringList{u"-o"_s, u"out.txt"_s, u"absent.txt"_s} << 1 << QByteArray()
            << u"Impossible d'ouvrir le fichier \"%1\". Le fichier ou le dossier spécifié est "
               u"introuvable.\n"_s.arg(u"absent.txt"_s)
            << old;
        QTest::newRow("one input read of two: written")
            << QStringList{u"-o"_s, u"out.txt"_s, u"absent.txt"_s, u"in.txt"_s} << 1 << QByteArray()
            << u"Impossible d'ouvrir le fichier \"%1\". Le fichier ou le dossier spécifié est "
               u"introuvable.\n"_s.arg(u"absent.txt"_s)
            << QByteArray("a@exemple.fr\r\n");
        QTest::newRow("an address Windows-1252 cannot hold: nothing written")
            << QStringList{u"-o"_s, u"out.txt"_s, u"in.txt"_s, u"greek.txt"_s} << 1 << QByteArray()
            << u"L'adresse « αβ@exemple.fr » ne peut pas être écrite en Windows-1252 : rien n'a "
               u"été "
               u"écrit (--encoding utf8 l'écrirait)\n"_s
            << old;
        QTest::newRow("the same in UTF-8")
            << QStringList{u"-o"_s, u"out.txt"_s, u"--encoding"_s, u"utf8"_s, u"greek.txt"_s} << 0
            << QByteArray() << QString() << u"\ufeffαβ@exemple.fr\r\n"_s.toUtf8();
        QTest::newRow("a FIFO is refused")
            << QStringList{u"-o"_s, u"fifo"_s, u"in.txt"_s} << 1 << QByteArray() << u"*"_s << old;
    }
    void outputFile()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QString, err);
        QFETCH(QByteArray, file);
        m_dir->write(u"in.txt"_s, "a@exemple.fr\n");
        m_dir->write(u"greek.txt"_s, u"αβ@exemple.fr\n"_s.toUtf8());
        m_dir->write(u"out.txt"_s, "ancien\r\n");
        QCOMPARE(::mkfifo(QFile::encodeName(m_dir->filePath(u"fifo"_s)).constData(), 0600), 0);
        const CliRun result = run(arguments);
        if (err == u"*")
            QVERIFY(!result.err.isEmpty());
        else
            QCOMPARE(QString::fromUtf8(result.err).replace(m_dir->path() + u'/', QString()), err);
        QCOMPARE(result.out, out);
        QCOMPARE(result.exitCode, status);
        QCOMPARE(readBytes(m_dir->filePath(u"out.txt"_s)), file);
    }

    // Names are shown as their bytes; tabs, line feeds and backslashes are escaped in columns.
    void names_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("not UTF-8, beside a look-alike")
            << QByteArray("caf\xe9.txt") << QStringList{u"--source"_s}
            << QByteArray("caf\xe9.txt\t1\ta@exemple.fr\n");
        QTest::newRow("line feed, tab and backslash in the source column")
            << QByteArray("a\nb\tc\\d.txt") << QStringList{u"--source"_s}
            << QByteArray("a\\nb\\tc\\\\d.txt\t1\ta@exemple.fr\n");
        QTest::newRow("and in the count column") << QByteArray("a\nb.txt") << QStringList{u"-c"_s}
                                                 << QByteArray("a\\nb.txt\t1\ntotal\t1\n");
    }
    void names()
    {
        QFETCH(QByteArray, name);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        const QByteArray folder = QFile::encodeName(m_dir->path()) + '/';
        const auto create = [&](const QByteArray &file, const QByteArray &bytes) {
            FILE *f = std::fopen((folder + file).constData(), "wb");
            QVERIFY(f);
            std::fwrite(bytes.constData(), 1, bytes.size(), f);
            std::fclose(f);
        };
        create(name, "a@exemple.fr\n");
        // What a lossy decoding of the name would open instead.
        create(QString::fromLatin1("caf\xef\xbf\xbd.txt").toLatin1(), "faux@exemple.fr\n");
        // The name handed over as its bytes, through a shell.
        QProcess shell;
        shell.setWorkingDirectory(m_dir->path());
        QStringList arguments{u"-c"_s, u"\"$0\" \"$@\" \"$(printf '%b' \"$N\")\""_s, cliPath()};
        arguments += options;
        QByteArray escaped;
        for (const char c : name)
            escaped += "\\0" + QByteArray::number(static_cast<unsigned char>(c), 8);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"N"_s, QString::fromLatin1(escaped));
        shell.setProcessEnvironment(environment);
        shell.start(u"/bin/sh"_s, arguments);
        QVERIFY(shell.waitForFinished(30000));
        QCOMPARE(shell.readAllStandardError(), QByteArray());
        QCOMPARE(shell.readAllStandardOutput(), expected);
        QCOMPARE(shell.exitCode(), 0);
        // A folder walk reads the file once, and not its look-alike in its place.
        const CliRun walk = run({u"-c"_s, u"."_s});
        QVERIFY2(walk.out.contains("faux") == false, walk.out.constData());
        QVERIFY2(walk.out.endsWith("total\t2\n"), walk.out.constData());
    }

    // Faults told in French, with status 1.
    void faults_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("err");
        QTest::newRow("a NUL-separated list read without -0")
            << QStringList{u"--files-from"_s, u"-"_s} << QByteArray("in.txt\0in.txt\0", 14)
            << QString()
            << u"La liste de fichiers « - » contient des octets nuls : pour une liste séparée par "
               u"des octets nuls, ajoutez l'option -0 (--null)\n"_s;
        QTest::newRow("memory lacking on a worker thread")
            << QStringList{u"in.txt"_s} << QByteArray() << u"worker"_s
            << u"Mémoire insuffisante pour lire le fichier \"in.txt\"\n"_s;
        QTest::newRow("memory lacking on a worker thread outside its inputs")
            << QStringList{u"-j"_s, u"2"_s, u"in.txt"_s, u"in.txt"_s} << QByteArray() << u"thread"_s
            << u"Mémoire insuffisante.\n"_s;
        QTest::newRow("memory lacking on the caller while workers run")
            << QStringList{u"-j"_s, u"2"_s, u"in.txt"_s, u"in.txt"_s, u"in.txt"_s} << QByteArray()
            << u"caller"_s << u"Mémoire insuffisante.\n"_s;
    }
    void faults()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, fault);
        QFETCH(QString, err);
        m_dir->write(u"in.txt"_s, "a@exemple.fr\n");
        const CliRun result = runCli(m_dir->path(), arguments, input, [&](QProcess &p) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            if (!fault.isEmpty())
                environment.insert(u"EXTRACTEUR_TEST_FAULT"_s, fault);
            p.setProcessEnvironment(environment);
        });
        QCOMPARE(QString::fromUtf8(result.err), err);
        QCOMPARE(result.exitCode, 1);
    }

    // --help that cannot be written says why.
    void helpOntoFullDevice()
    {
        const CliRun result = runCli(m_dir->path(), {u"--help"_s}, {},
                                     [](QProcess &p) { p.setStandardOutputFile(u"/dev/full"_s); });
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(QString::fromUtf8(result.err),
                 u"Erreur d'écriture sur la sortie standard. Il n'y a pas assez d'espace sur le "
                 u"disque.\n"_s);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("input encoding")
            << QStringList{u"--input-encoding"_s, u"latin1"_s}
            << u"valeur incorrecte « latin1 » pour l'option « --input-encoding » : auto, cp1252, "
               u"utf8, utf16le ou utf16be est attendu"_s;
        QTest::newRow("format") << QStringList{u"--format=mail"_s}
                                << u"valeur incorrecte « mail » pour l'option « --format » : auto "
                                   u"ou text est attendu"_s;
        for (const QString &size : {u"dix"_s, u"0"_s, u"10X"_s, u"-1G"_s, u"99999999999T"_s})
            QTest::addRow("max-expand %s", qPrintable(size))
                << QStringList{u"--max-expand"_s, size}
                << u"valeur incorrecte « %1 » pour l'option « --max-expand » : une taille est "
                   u"attendue (par exemple 500M ou 10G)"_s.arg(size);
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const CliRun result = run(arguments);
        QCOMPARE(QString::fromUtf8(result.err),
                 u"extracteur-cli : "_s + message +
                     u"\nUsage : extracteur-cli [OPTIONS] [FICHIER | DOSSIER | -] ...\n"
                     u"Pour en savoir plus : extracteur-cli --help\n"_s);
        QCOMPARE(result.exitCode, 2);
    }

    // Sizes in the forms people write them are taken.
    void maxExpandSizes()
    {
        m_dir->write(u"in.txt"_s, "a@exemple.fr\n");
        for (const QString &size :
             {u"500M"_s, u"10G"_s, u"2Gio"_s, u"1GiB"_s, u"4096"_s, u"8k"_s}) {
            const CliRun result = run({u"--max-expand"_s, size, u"in.txt"_s});
            QVERIFY2(result.exitCode == 0, qPrintable(size + QString::fromUtf8(result.err)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCliAddresses)
#include "tst_cli_addresses.moc"
