#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include "cli/cli_process.h"
#include "support/fixtures.h"

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Windows-1252, CR LF: names, a quoted token holding a comma, a line without address, letters
// in both cases and an accented one (E9).
const QByteArray oneTxt = "Nom <zoe@x.fr>, bob@y.fr\r\n"
                          "\"Ana, Lopez@z.fr\" w\r\n"
                          "sans adresse\r\n"
                          "BOB@Y.FR \xe9ric@\xe9.fr\r\n"
                          "bob@y.fr\r\n";
const QByteArray twoTxt = "Bob@Y.fr, new@n.fr\n";

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

// The names, each followed by a NUL.
QByteArray nulTerminated(const QList<QByteArray> &names)
{
    QByteArray bytes;
    for (const QByteArray &name : names)
        bytes += name + '\0';
    return bytes;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private:
    CliFolder *m_dir = nullptr;

    // These tests check the window's tokens; the address tests are in tst_cli_addresses.
    CliRun run(const QStringList &arguments, const QByteArray &input = QByteArray()) const
    {
        return runCli(m_dir->path(), QStringList{u"--tokens"_s} + arguments, input);
    }
    // The tree of the folder tests: nested folders, a link back up (a loop if followed), a link
    // to a file, names whose code-unit order differs from a per-folder walk.
    void writeTree() const
    {
        m_dir->write(u"tree/a.txt"_s, "a@1\n");
        m_dir->write(u"tree/a-c.txt"_s, "ac@2\n");
        m_dir->write(u"tree/a/b.txt"_s, "ab@3\n");
        m_dir->write(u"tree/B.txt"_s, "B@4\n");
        m_dir->write(u"tree/a/deep/z.csv"_s, "z@5\n");
        m_dir->write(u"tree/notes.md"_s, "md@6\n");
        QVERIFY(QFile::link(u".."_s, m_dir->filePath(u"tree/a/loop"_s)));
        QVERIFY(QFile::link(u"a/b.txt"_s, m_dir->filePath(u"tree/link.txt"_s)));
    }

private slots:
    void init()
    {
        m_dir = new CliFolder;
        QVERIFY(m_dir->isValid());
        m_dir->write(u"one.txt"_s, oneTxt);
        m_dir->write(u"two.txt"_s, twoTxt);
        // A file whose name looks like an option, read after "--".
        m_dir->write(u"-u"_s, "Bob@y.FR\n");
    }
    void cleanup()
    {
        delete m_dir;
        m_dir = nullptr;
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("tokens in line order, LF, UTF-8")
            << QStringList{u"one.txt"_s}
            << utf8(u"<zoe@x.fr>\nbob@y.fr\nAna, Lopez@z.fr\nBOB@Y.FR\néric@é.fr\nbob@y.fr\n"_s);
        QTest::newRow("files in the order given")
            << QStringList{u"two.txt"_s, u"one.txt"_s}
            << utf8(u"Bob@Y.fr\nnew@n.fr\n<zoe@x.fr>\nbob@y.fr\nAna, Lopez@z.fr\nBOB@Y.FR\n"
                    u"éric@é.fr\nbob@y.fr\n"_s);
        QTest::newRow("unique keeps the first, ignoring case")
            << QStringList{u"-u"_s, u"one.txt"_s, u"two.txt"_s}
            << utf8(u"<zoe@x.fr>\nbob@y.fr\nAna, Lopez@z.fr\néric@é.fr\nnew@n.fr\n"_s);
        QTest::newRow("sort as the window: letters before case, small letters first")
            << QStringList{u"--sort"_s, u"one.txt"_s}
            << utf8(u"<zoe@x.fr>\nAna, Lopez@z.fr\nbob@y.fr\nbob@y.fr\nBOB@Y.FR\néric@é.fr\n"_s);
        QTest::newRow("unique and sort")
            << QStringList{u"-us"_s, u"one.txt"_s}
            << utf8(u"<zoe@x.fr>\nAna, Lopez@z.fr\nbob@y.fr\néric@é.fr\n"_s);
        QTest::newRow("separator: one line")
            << QStringList{u"--separator"_s, u"; "_s, u"one.txt"_s, u"two.txt"_s}
            << utf8(u"<zoe@x.fr>; bob@y.fr; Ana, Lopez@z.fr; BOB@Y.FR; éric@é.fr; bob@y.fr; "
                    u"Bob@Y.fr; new@n.fr\n"_s);
        QTest::newRow("separator after unique, sort")
            << QStringList{u"-us"_s, u"--separator=, "_s, u"two.txt"_s, u"one.txt"_s}
            << utf8(u"<zoe@x.fr>, Ana, Lopez@z.fr, Bob@Y.fr, éric@é.fr, new@n.fr\n"_s);
        QTest::newRow("separator, no address: nothing")
            << QStringList{u"--separator"_s, u";"_s, u"-"_s} << QByteArray();
        QTest::newRow("source: path, line, address")
            << QStringList{u"--source"_s, u"one.txt"_s, u"two.txt"_s}
            << utf8(u"one.txt\t1\t<zoe@x.fr>\none.txt\t1\tbob@y.fr\none.txt\t2\tAna, Lopez@z.fr\n"
                    u"one.txt\t4\tBOB@Y.FR\none.txt\t4\téric@é.fr\none.txt\t5\tbob@y.fr\n"
                    u"two.txt\t1\tBob@Y.fr\ntwo.txt\t1\tnew@n.fr\n"_s);
        QTest::newRow("source of the first occurrences")
            << QStringList{u"--source"_s, u"-u"_s, u"two.txt"_s, u"one.txt"_s}
            << utf8(u"two.txt\t1\tBob@Y.fr\ntwo.txt\t1\tnew@n.fr\none.txt\t1\t<zoe@x.fr>\n"
                    u"one.txt\t2\tAna, Lopez@z.fr\none.txt\t4\téric@é.fr\n"_s);
        QTest::newRow("count per file and total")
            << QStringList{u"-c"_s, u"one.txt"_s, u"two.txt"_s}
            << QByteArray("one.txt\t6\ntwo.txt\t2\ntotal\t8\n");
        QTest::newRow("count of first occurrences")
            << QStringList{u"-cu"_s, u"one.txt"_s, u"two.txt"_s}
            << QByteArray("one.txt\t4\ntwo.txt\t1\ntotal\t5\n");
        QTest::newRow("NUL after each entry")
            << QStringList{u"-0"_s, u"two.txt"_s} << nulTerminated({"Bob@Y.fr", "new@n.fr"});
        QTest::newRow("options after the files, -- before a name")
            << QStringList{u"two.txt"_s, u"-u"_s, u"--"_s, u"-u"_s}
            << QByteArray("Bob@Y.fr\nnew@n.fr\n");
    }
    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        const CliRun result = run(arguments);
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, expected);
        QCOMPARE(result.exitCode, 0);
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");
        const QString line = u"Zoé <zoé@exemple.fr>,\"ß@x, y\"\r\nĀ@b"_s;
        const QString tokens = u"<zoé@exemple.fr>\nß@x, y\nĀ@b\n"_s;
        QByteArray le = "\xff\xfe";
        QByteArray be = "\xfe\xff";
        for (QChar c : line) {
            le += char(c.unicode() & 0xff);
            le += char(c.unicode() >> 8);
            be += char(c.unicode() >> 8);
            be += char(c.unicode() & 0xff);
        }
        QTest::newRow("UTF-8 after its mark") << "\xef\xbb\xbf" + line.toUtf8() << utf8(tokens);
        QTest::newRow("UTF-16 LE after its mark") << le << utf8(tokens);
        QTest::newRow("UTF-16 BE after its mark") << be << utf8(tokens);
        QTest::newRow("Windows-1252 without a mark")
            << QByteArray("Zo\xe9 <zo\xe9@exemple.fr>,\"\xdf@x, y\"\x80@\x9c")
            << utf8(u"<zoé@exemple.fr>\nß@x, y\n€@œ\n"_s);
        QTest::newRow("UTF-8 without a mark is Windows-1252")
            << QByteArray("zo\xc3\xa9@x") << utf8(u"zoÃ©@x\n"_s);
        QTest::newRow("malformed UTF-8 after its mark: nothing") << QByteArray("\xef\xbb\xbf"
                                                                               "a@b\n\xc3(@c\n")
                                                                 << QByteArray();
        QTest::newRow("a surrogate without its pair becomes U+FFFD")
            << hex("fffe"
                   "61004000"
                   "00d8"
                   "2000"
                   "62004000"
                   "3dd8"
                   "00de"
                   "00dc")
            << QByteArray("a@\xef\xbf\xbd\nb@\xf0\x9f\x98\x80\xef\xbf\xbd\n");
        QTest::newRow("the first zero byte ends the text")
            << QByteArray("a@b\r\nc@d\0e@f\r\n", 14) << QByteArray("a@b\nc@d\n");
    }
    void encodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        m_dir->write(u"in.txt"_s, bytes);
        const CliRun fromFile = run({u"in.txt"_s});
        QCOMPARE(fromFile.out, expected);
        QCOMPARE(fromFile.exitCode, 0);
        // Standard input is read by the same rules.
        const CliRun fromStdin = run({}, bytes);
        QCOMPARE(fromStdin.out, expected);
        QCOMPARE(fromStdin.exitCode, 0);
        // The addresses held for --unique are written the same way (none repeats here).
        QCOMPARE(run({u"--unique"_s, u"in.txt"_s}).out, expected);
    }

    // Enough addresses for --unique to spread them over many buckets and every core: the first
    // of each, ignoring case, in file order, as a set of seen upper-cased texts gives them.
    void uniqueKeepsTheFirstOfManyAddresses()
    {
        QRandomGenerator random(11);
        QByteArray input;
        QByteArray expected;
        QSet<QString> seen;
        for (int i = 0; i < 200000; ++i) {
            QString address =
                u"%1.é%2@exemple.fr"_s.arg(random.bounded(30000)).arg(random.bounded(3));
            if (random.bounded(4) == 0)
                address = address.toUpper();
            const QByteArray line = address.toUtf8() + '\n';
            input += line;
            if (!seen.contains(address.toUpper())) {
                seen.insert(address.toUpper());
                expected += line;
            }
        }
        m_dir->write(u"many.txt"_s, "\xef\xbb\xbf" + input);
        const CliRun unique = run({u"-u"_s, u"many.txt"_s});
        QCOMPARE(unique.exitCode, 0);
        QCOMPARE(unique.out.size(), expected.size());
        QVERIFY(unique.out == expected);
    }

    void outputFile_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("Windows-1252 by default, as the window saves an extract") << QStringList{}
                                                                                 << hex("61406272"
                                                                                        "0d0a"
                                                                                        "e94063"
                                                                                        "0d0a"
                                                                                        "3f4078"
                                                                                        "0d0a");
        QTest::newRow("cp1252") << QStringList{u"--encoding"_s, u"cp1252"_s}
                                << hex("614062720d0ae940630d0a3f40780d0a");
        QTest::newRow("utf8") << QStringList{u"--encoding"_s, u"utf8"_s}
                              << hex("efbbbf614062720d0ac3a940630d0ae2889e40780d0a");
        QTest::newRow("utf16le") << QStringList{u"--encoding=UTF16LE"_s}
                                 << hex("fffe6100400062007200"
                                        "0d000a00e90040006300"
                                        "0d000a001e2240007800"
                                        "0d000a00");
        QTest::newRow("utf16be") << QStringList{u"--encoding"_s, u"utf16be"_s}
                                 << hex("feff0061004000620072"
                                        "000d000a00e900400063"
                                        "000d000a221e00400078"
                                        "000d000a");
        QTest::newRow("separator line ends with CR LF")
            << QStringList{u"--separator"_s, u"; "_s} << QByteArray("a@br; \xe9@c; ?@x\r\n");
        QTest::newRow("count") << QStringList{u"-c"_s} << QByteArray("in.txt\t3\r\ntotal\t3\r\n");
    }
    void outputFile()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        m_dir->write(u"in.txt"_s, "\xef\xbb\xbf"
                                  "a@br \xc3\xa9@c\n\xe2\x88\x9e@x\n");
        m_dir->write(u"out.txt"_s,
                     "ancien contenu, plus long que le nouveau, qui doit disparaître\r\n");
        const CliRun result = run(QStringList{u"-o"_s, u"out.txt"_s, u"in.txt"_s} + arguments);
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(readBytes(m_dir->filePath(u"out.txt"_s)), expected);
    }

    void folders_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("every file below, by path in code-unit order, links to folders skipped")
            << QStringList{u"tree"_s} << QByteArray("B@4\nac@2\na@1\nab@3\nz@5\nab@3\nmd@6\n");
        QTest::newRow("trailing slash")
            << QStringList{u"--source"_s, u"tree/a/"_s}
            << QByteArray("tree/a/b.txt\t1\tab@3\ntree/a/deep/z.csv\t1\tz@5\n");
        QTest::newRow("glob") << QStringList{u"--glob"_s, u"*.txt"_s, u"tree"_s}
                              << QByteArray("B@4\nac@2\na@1\nab@3\nab@3\n");
        QTest::newRow("glob and exclusion by file name")
            << QStringList{u"--glob"_s, u"*.txt"_s, u"--glob=!a*"_s, u"tree"_s}
            << QByteArray("B@4\nab@3\nab@3\n");
        QTest::newRow("exclusion alone") << QStringList{u"--glob"_s, u"![a-z]*.txt"_s, u"tree"_s}
                                         << QByteArray("B@4\nz@5\nmd@6\n");
        QTest::newRow("a named file is read whatever the globs")
            << QStringList{u"--glob"_s, u"*.csv"_s, u"tree/notes.md"_s, u"tree"_s}
            << QByteArray("md@6\nz@5\n");
    }
    void folders()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        writeTree();
        const CliRun result = run(arguments);
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, expected);
        QCOMPARE(result.exitCode, 0);
    }

    void standardInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("no argument") << QStringList{} << QByteArray("s@in\n");
        QTest::newRow("dash among files")
            << QStringList{u"two.txt"_s, u"-"_s} << QByteArray("Bob@Y.fr\nnew@n.fr\ns@in\n");
        QTest::newRow("source shows a dash")
            << QStringList{u"--source"_s, u"-"_s} << QByteArray("-\t2\ts@in\n");
    }
    void standardInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, expected);
        const CliRun result = run(arguments, "rien\r\n\"s@in\"");
        QCOMPARE(result.out, expected);
        QCOMPARE(result.exitCode, 0);
    }

    void filesFrom_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("list");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("NUL-separated on standard input, a name holding a line feed")
            << QStringList{u"--files-from"_s, u"-"_s, u"-0"_s}
            << nulTerminated({"two.txt", "new\nline.txt", "tree/a"})
            << nulTerminated({"Bob@Y.fr", "new@n.fr", "nl@7", "ab@3", "z@5"});
        QTest::newRow("one a line, CR LF too, empty lines skipped")
            << QStringList{u"--files-from=list.txt"_s} << QByteArray("two.txt\r\n\nnew\n")
            << QByteArray("Bob@Y.fr\nnew@n.fr\nn@8\n");
        QTest::newRow("after the arguments")
            << QStringList{u"--files-from"_s, u"list.txt"_s, u"new"_s} << QByteArray("two.txt\n")
            << QByteArray("n@8\nBob@Y.fr\nnew@n.fr\n");
    }
    void filesFrom()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, list);
        QFETCH(QByteArray, expected);
        writeTree();
        m_dir->write(u"new\nline.txt"_s, "nl@7\n");
        m_dir->write(u"new"_s, "n@8\n");
        m_dir->write(u"list.txt"_s, list);
        const CliRun result = run(arguments, list);
        QCOMPARE(result.err, QByteArray());
        QCOMPARE(result.out, expected);
        QCOMPARE(result.exitCode, 0);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown long option")
            << QStringList{u"--inconnue"_s, u"one.txt"_s} << u"option inconnue « --inconnue »"_s;
        QTest::newRow("unknown short option in a cluster")
            << QStringList{u"-ux"_s} << u"option inconnue « -x »"_s;
        QTest::newRow("jobs zero") << QStringList{u"-j"_s, u"0"_s}
                                   << u"valeur incorrecte « 0 » pour l'option « -j » : un nombre "
                                      u"entier de 1 à 1024 est attendu"_s;
        QTest::newRow("jobs not a number")
            << QStringList{u"--jobs=deux"_s}
            << u"valeur incorrecte « deux » pour l'option « --jobs » : un nombre entier de 1 à "
               u"1024 est attendu"_s;
        QTest::newRow("unknown encoding")
            << QStringList{u"-o"_s, u"f.txt"_s, u"--encoding"_s, u"latin9"_s}
            << u"valeur incorrecte « latin9 » pour l'option « --encoding » : cp1252, utf8, "
               u"utf16le ou utf16be est attendu"_s;
        QTest::newRow("encoding without output")
            << QStringList{u"--encoding"_s, u"utf8"_s}
            << u"l'option « --encoding » ne s'emploie qu'avec « --output »"_s;
        QTest::newRow("missing value")
            << QStringList{u"one.txt"_s, u"-o"_s} << u"l'option « -o » attend une valeur"_s;
        QTest::newRow("value given to a flag")
            << QStringList{u"--unique=oui"_s} << u"l'option « --unique » ne prend pas de valeur"_s;
        QTest::newRow("count and source")
            << QStringList{u"-c"_s, u"--source"_s}
            << u"les options « --count » et « --source » ne s'emploient pas ensemble"_s;
        QTest::newRow("standard input twice")
            << QStringList{u"-"_s, u"--files-from"_s, u"-"_s}
            << u"l'entrée standard « - » ne peut être lue qu'une fois"_s;
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
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(result.exitCode, 2);
    }

    void helpAndVersion()
    {
        const CliRun help = run({u"--help"_s});
        QCOMPARE(help.exitCode, 0);
        const QString text = QString::fromUtf8(help.out);
        QVERIFY(text.startsWith(u"Usage : extracteur-cli [OPTIONS]"_s));
        for (const QString &option :
             {u"--unique"_s, u"--sort"_s, u"--separator"_s, u"--source"_s, u"--count"_s,
              u"--output"_s, u"--encoding"_s, u"--null"_s, u"--files-from"_s, u"--glob"_s,
              u"--jobs"_s, u"--quiet"_s, u"--help"_s, u"--version"_s, u"Exemples :"_s})
            QVERIFY2(text.contains(option), qPrintable(option));
        QCOMPARE(run({u"-h"_s}).out, help.out);

        const CliRun version = run({u"--version"_s});
        QCOMPARE(version.out, QByteArray("extracteur-cli 1.0\n"));
        QCOMPARE(version.exitCode, 0);
    }

    // A file that cannot be read is reported as the window reports it; the others are done.
    void unreadableAmongGoodOnes()
    {
        m_dir->write(u"tree/ok.txt"_s, "ok@1\n");
        QVERIFY(QFile::link(u"boucle"_s, m_dir->filePath(u"tree/boucle"_s)));
        const CliRun result = run({u"one.txt"_s, u"absent.txt"_s, u"tree"_s, u"two.txt"_s});
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(QString::fromUtf8(result.err),
                 u"Impossible d'ouvrir le fichier \"%1\". Trop de niveaux de liens symboliques "
                 u"dans le chemin d'accès.\n"
                 u"Impossible d'ouvrir le fichier \"%2\". Le fichier ou le dossier spécifié est "
                 u"introuvable.\n"_s.arg(m_dir->filePath(u"tree/boucle"_s),
                                         m_dir->filePath(u"absent.txt"_s)));
        QCOMPARE(result.out,
                 utf8(u"<zoe@x.fr>\nbob@y.fr\nAna, Lopez@z.fr\nBOB@Y.FR\néric@é.fr\nbob@y.fr\n"
                      u"ok@1\nBob@Y.fr\nnew@n.fr\n"_s));
    }

    // Worker threads and files cut into pieces change nothing in the output.
    void sameOutputWhateverTheWorkers()
    {
        QByteArray expected;
        QByteArray expectedSources;
        for (int f = 0; f < 9; ++f) {
            const QString name = u"many/f%1.txt"_s.arg(f);
            // One large file, cut into pieces when read with several workers.
            const int lines = f == 4 ? 650001 : 3 + f * 200;
            QByteArray bytes;
            bytes.reserve(lines * 12);
            for (int k = 1; k <= lines; ++k) {
                const QByteArray address =
                    QByteArray::number(f) + '.' + QByteArray::number(k) + "@x";
                bytes += "t " + address + "\n";
                expected += address + '\n';
                expectedSources +=
                    name.toUtf8() + '\t' + QByteArray::number(k) + '\t' + address + '\n';
            }
            m_dir->write(name, bytes);
        }
        for (const QString &jobs : {u"1"_s, u"2"_s, u"5"_s}) {
            const CliRun plain = run({u"-j"_s, jobs, u"many"_s});
            QVERIFY2(plain.out == expected, qPrintable(jobs));
            const CliRun sources = run({u"-j"_s, jobs, u"--source"_s, u"many"_s});
            QVERIFY2(sources.out == expectedSources, qPrintable(jobs));
        }
    }

    // "| head" closes the pipe early: the program ends quietly, with status 0.
    void closedPipe()
    {
        QByteArray bytes;
        for (int k = 0; k < 300000; ++k)
            bytes += "adresse" + QByteArray::number(k) + "@exemple.fr\n";
        m_dir->write(u"big.txt"_s, bytes);
        QProcess shell;
        shell.setWorkingDirectory(m_dir->path());
        shell.start(u"/bin/sh"_s,
                    {u"-c"_s,
                     u"{ \"$0\" --tokens big.txt 2>err.txt; echo $? >status.txt; } | head -n 2"_s,
                     cliPath()});
        QVERIFY(shell.waitForFinished(120000));
        QCOMPARE(shell.readAllStandardOutput(),
                 QByteArray("adresse0@exemple.fr\nadresse1@exemple.fr\n"));
        QCOMPARE(readBytes(m_dir->filePath(u"status.txt"_s)), QByteArray("0\n"));
        QCOMPARE(readBytes(m_dir->filePath(u"err.txt"_s)), QByteArray());
    }

    // A full device on standard output is a failure, not a quiet end.
    void standardOutputFull()
    {
        const CliRun result = runCli(m_dir->path(), {u"--tokens"_s, u"one.txt"_s}, {},
                                     [](QProcess &p) { p.setStandardOutputFile(u"/dev/full"_s); });
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(QString::fromUtf8(result.err),
                 u"Erreur d'écriture sur la sortie standard. Il n'y a pas assez d'espace sur le "
                 u"disque.\n"_s);
    }

    // The output file cannot be written to its end: the old file stays whole.
    void outputOntoFullDisk_data()
    {
        QTest::addColumn<bool>("tmpfs");
        QTest::newRow("file size limit") << false;
        QTest::newRow("full file system") << true;
    }
    void outputOntoFullDisk()
    {
        QFETCH(bool, tmpfs);
        QByteArray bytes;
        for (int k = 0; k < 20000; ++k)
            bytes += "adresse" + QByteArray::number(k) + "@exemple.fr\n";
        m_dir->write(u"big.txt"_s, bytes);
        const QByteArray old = "ancien contenu\r\n";
        if (!tmpfs) {
            m_dir->write(u"out.txt"_s, old);
            const CliRun result =
                runCli(m_dir->path(), {u"--tokens"_s, u"-o"_s, u"out.txt"_s, u"big.txt"_s}, {},
                       [](QProcess &p) {
                           p.setChildProcessModifier([] {
                               std::signal(SIGXFSZ, SIG_IGN);
                               const rlimit limit{65536, 65536};
                               ::setrlimit(RLIMIT_FSIZE, &limit);
                           });
                       });
            QCOMPARE(QString::fromUtf8(result.err), u"Erreur d'écriture dans le flux.\n"_s);
            QCOMPARE(result.exitCode, 1);
            QCOMPARE(readBytes(m_dir->filePath(u"out.txt"_s)), old);
            // No temporary file is left behind.
            QCOMPARE(QDir(m_dir->path()).entryList({u".*"_s}, QDir::Files | QDir::Hidden),
                     QStringList());
            return;
        }
        // A small file system of its own, in a private mount namespace; the check runs inside it.
        QDir().mkpath(m_dir->filePath(u"mnt"_s));
        QProcess shell;
        shell.setWorkingDirectory(m_dir->path());
        shell.start(
            u"unshare"_s,
            {u"-rm"_s, u"/bin/sh"_s, u"-c"_s,
             u"mount -t tmpfs -o size=64k tmpfs mnt || exit 77; "
             u"printf 'ancien contenu\\r\\n' > mnt/out.txt; "
             u"\"$0\" --tokens -o mnt/out.txt big.txt; echo \"status=$?\"; cat mnt/out.txt; ls -A mnt"_s,
             cliPath()});
        if (!shell.waitForFinished(120000) || shell.exitCode() == 77 ||
            shell.exitStatus() != QProcess::NormalExit || shell.error() == QProcess::FailedToStart)
            QSKIP("no private tmpfs here (unshare or mount refused)");
        QCOMPARE(QString::fromUtf8(shell.readAllStandardError()),
                 u"Erreur d'écriture dans le flux.\n"_s);
        QCOMPARE(shell.readAllStandardOutput(),
                 QByteArray("status=1\nancien contenu\r\nout.txt\n"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
