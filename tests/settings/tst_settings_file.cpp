#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "errors/app_error.h"
#include "platform/executable_info.h"
#include "settings/settings_file.h"
#include "support/write_fixtures.h"
#include "support/fixtures.h"

using namespace Qt::StringLiterals;

namespace {

// Bytes of a literal, embedded NULs included.
template <qsizetype N> QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

// Lets this process map at most `extra` bytes more than it has now, so that reading a file whole
// fails at once instead of filling the machine. The sanitizer reserves its own huge map and
// cannot run under such a limit.
void limitAddressSpace(qint64 extra)
{
    if (addressSanitizer)
        return;
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return;
    const qint64 pages = statm.readAll().split(' ').value(0).toLongLong();
    rlimit limit = {};
    limit.rlim_cur = limit.rlim_max = rlim_t(pages * ::sysconf(_SC_PAGESIZE) + extra);
    ::setrlimit(RLIMIT_AS, &limit);
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_ini;

    // The message a failed write must carry for this path.
    static QString writeErrorFor(const QString &path)
    {
        return u"Impossible d'écrire dans "_s + path;
    }

    void expectWriteError(const QString &path, const QString &value = u"v"_s)
    {
        try {
            SettingsFile::WriteText(u"A"_s, u"k"_s, value, path);
            QFAIL("the write was reported as done");
        } catch (const SettingsWriteError &error) {
            QCOMPARE(error.message(), writeErrorFor(path));
        }
    }

private slots:
    void init() { m_ini = freshSettingsIn(m_dir, u"outil.exe"_s); }

    void integerText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<qint32>>("expected");
        using N = std::optional<qint32>;
        const N invalid;
        QTest::newRow("plain") << u"1"_s << N(1);
        QTest::newRow("leading blanks") << u"  42"_s << N(42);
        QTest::newRow("trailing blank") << u"42 "_s << invalid;
        QTest::newRow("tab is no blank") << u"\t42"_s << invalid;
        QTest::newRow("blank after sign") << u"- 1"_s << invalid;
        QTest::newRow("plus") << u"+5"_s << N(5);
        QTest::newRow("minus zero") << u"-0"_s << N(0);
        QTest::newRow("leading zeros") << u"007"_s << N(7);
        QTest::newRow("max") << u"2147483647"_s << N(2147483647);
        QTest::newRow("max + 1") << u"2147483648"_s << invalid;
        QTest::newRow("min") << u"-2147483648"_s << N(-2147483647 - 1);
        QTest::newRow("min - 1") << u"-2147483649"_s << invalid;
        QTest::newRow("huge") << u"99999999999"_s << invalid;
        QTest::newRow("zeros then max") << u"0002147483647"_s << N(2147483647);
        QTest::newRow("dollar hex negated") << u"-$10"_s << N(-16);
        QTest::newRow("dollar all ones") << u"$FFFFFFFF"_s << N(-1);
        QTest::newRow("dollar sign bit") << u"$80000000"_s << N(-2147483647 - 1);
        QTest::newRow("negated sign bit") << u"-$80000000"_s << N(-2147483647 - 1);
        QTest::newRow("negated all ones") << u"-$FFFFFFFF"_s << N(1);
        QTest::newRow("x prefix") << u"x1f"_s << N(31);
        QTest::newRow("X prefix") << u"X1F"_s << N(31);
        QTest::newRow("0x prefix") << u"0x10"_s << N(16);
        QTest::newRow("0X prefix") << u"0X10"_s << N(16);
        QTest::newRow("mixed case digits") << u"$fFfF"_s << N(65535);
        QTest::newRow("hex zero") << u"0x0"_s << N(0);
        QTest::newRow("eight digits after zeros") << u"$000000007FFFFFFF"_s << N(2147483647);
        QTest::newRow("nine digits") << u"$100000000"_s << invalid;
        QTest::newRow("0x alone") << u"0x"_s << invalid;
        QTest::newRow("dollar alone") << u"$"_s << invalid;
        QTest::newRow("sign alone") << u"-"_s << invalid;
        QTest::newRow("two signs") << u"+-1"_s << invalid;
        QTest::newRow("sign after prefix") << u"$-1"_s << invalid;
        QTest::newRow("bad hex digit") << u"$1G"_s << invalid;
        QTest::newRow("empty") << QString() << invalid;
        QTest::newRow("blanks alone") << u"   "_s << invalid;
        QTest::newRow("decimal point") << u"1.0"_s << invalid;
        QTest::newRow("word") << u"abc"_s << invalid;
        QTest::newRow("fullwidth digit") << u"\uFF11"_s << invalid;
        QTest::newRow("arabic-indic digit") << u"\u0661"_s << invalid;
    }

    void integerText()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<qint32>, expected);
        QCOMPARE(ParseIntegerText(text), expected);
        if (expected) {
            QCOMPARE(StrToInt(text), *expected);
            return;
        }
        try {
            StrToInt(text);
            QFAIL("no ConversionError");
        } catch (const ConversionError &error) {
            QCOMPARE(error.message(), u"''%1'' n'est pas une valeur entière valide"_s.arg(text));
        }
    }

    void readFlag_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("defaultFlag");
        QTest::addColumn<bool>("expected");
        QTest::newRow("1") << QByteArray("[S]\nk=1\n") << false << true;
        QTest::newRow("2") << QByteArray("[S]\nk=2\n") << false << true;
        QTest::newRow("5") << QByteArray("[S]\nk=5\n") << false << true;
        QTest::newRow("-1") << QByteArray("[S]\nk=-1\n") << false << true;
        QTest::newRow("0x10") << QByteArray("[S]\nk=0x10\n") << false << true;
        QTest::newRow("0") << QByteArray("[S]\nk=0\n") << true << false;
        QTest::newRow("00") << QByteArray("[S]\nk=00\n") << true << false;
        QTest::newRow("$0") << QByteArray("[S]\nk=$0\n") << true << false;
        QTest::newRow("0x0") << QByteArray("[S]\nk=0x0\n") << true << false;
        QTest::newRow("true, default false") << QByteArray("[S]\nk=true\n") << false << false;
        QTest::newRow("oui, default true") << QByteArray("[S]\nk=oui\n") << true << true;
        QTest::newRow("yes, default true") << QByteArray("[S]\nk=yes\n") << true << true;
        QTest::newRow("empty, default true") << QByteArray("[S]\nk=\n") << true << true;
        QTest::newRow("empty, default false") << QByteArray("[S]\nk=\n") << false << false;
        QTest::newRow("missing key") << QByteArray("[S]\nj=1\n") << true << true;
        QTest::newRow("missing section") << QByteArray("[T]\nk=0\n") << true << true;
        QTest::newRow("no file") << QByteArray() << true << true;
    }

    void readFlag()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, defaultFlag);
        QFETCH(bool, expected);
        if (!file.isEmpty())
            writeBytes(m_ini, file);
        QCOMPARE(SettingsFile::ReadFlag(u"S"_s, u"k"_s, defaultFlag), expected);
    }

    void writeFlagRoundTrip()
    {
        SettingsFile::WriteFlag(u"CASES_A_COCHER"_s, u"chk_AUTO"_s, true);
        QCOMPARE(SettingsFile::ReadFlag(u"CASES_A_COCHER"_s, u"chk_AUTO"_s, false), true);
        QCOMPARE(readBytes(m_ini), QByteArray("[CASES_A_COCHER]\nchk_AUTO=1\n"));
        SettingsFile::WriteFlag(u"CASES_A_COCHER"_s, u"chk_AUTO"_s, false);
        QCOMPARE(readBytes(m_ini), QByteArray("[CASES_A_COCHER]\nchk_AUTO=0\n"));
        QCOMPARE(SettingsFile::ReadFlag(u"CASES_A_COCHER"_s, u"chk_AUTO"_s, true), false);
    }

    void readText_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected"); // "<default>" when the default comes back

        const QByteArray sample = "; réglages\n"
                                  "orphan=before any section\n"
                                  "[FICHIER]\r\n"
                                  "IMPORT=C:\\a=b\\liste.txt\r\n"
                                  "line without equals\n"
                                  "\n"
                                  "VIDE=\n"
                                  "[outil]\n"
                                  "Form1=120:80:640:480\n"
                                  "[Caractères]\n"
                                  "clé=été\n";
        QTest::newRow("value with =, CR LF line")
            << sample << u"FICHIER"_s << u"IMPORT"_s << u"C:\\a=b\\liste.txt"_s;
        QTest::newRow("names ignore case")
            << sample << u"fichier"_s << u"import"_s << u"C:\\a=b\\liste.txt"_s;
        QTest::newRow("empty value is no default")
            << sample << u"FICHIER"_s << u"VIDE"_s << QString();
        QTest::newRow("other section") << sample << u"outil"_s << u"Form1"_s << u"120:80:640:480"_s;
        QTest::newRow("UTF-8 names and value") << sample << u"Caractères"_s << u"clé"_s << u"été"_s;
        QTest::newRow("key of another section")
            << sample << u"outil"_s << u"IMPORT"_s << u"<default>"_s;
        QTest::newRow("entry before any section")
            << sample << QString() << u"orphan"_s << u"<default>"_s;
        QTest::newRow("missing section") << sample << u"ABSENT"_s << u"IMPORT"_s << u"<default>"_s;
        QTest::newRow("duplicate keys: first wins")
            << QByteArray("[A]\nk=1\nk=2\n") << u"A"_s << u"k"_s << u"1"_s;
        QTest::newRow("duplicate sections: first wins")
            << QByteArray("[A]\nk=1\n[B]\n[A]\nk=2\nj=3\n") << u"A"_s << u"k"_s << u"1"_s;
        QTest::newRow("duplicate sections: later key found")
            << QByteArray("[A]\nk=1\n[B]\n[A]\nk=2\nj=3\n") << u"A"_s << u"j"_s << u"3"_s;
        QTest::newRow("byte-order mark")
            << QByteArray("\xEF\xBB\xBF[A]\nk=1\n") << u"A"_s << u"k"_s << u"1"_s;
        QTest::newRow("last line without line end")
            << QByteArray("[A]\r\nk=1") << u"A"_s << u"k"_s << u"1"_s;
        QTest::newRow("binary junk around")
            << bytes("\x00\xFF\xFE\n[A]\n\x01\x80=\x02\nk=v\n") << u"A"_s << u"k"_s << u"v"_s;
        QTest::newRow("binary junk only")
            << bytes("\x00\xFF\xFE\x80\r\r\n") << u"A"_s << u"k"_s << u"<default>"_s;
        QTest::newRow("empty file") << QByteArray("") << u"A"_s << u"k"_s << u"<default>"_s;
        QTest::newRow("lone CR ends the last line")
            << QByteArray("[A]\nIMPORT=/a.txt\r") << u"A"_s << u"IMPORT"_s << u"/a.txt"_s;
        QTest::newRow("lone CR line ends")
            << QByteArray("[A]\rk=1\rj=2") << u"A"_s << u"j"_s << u"2"_s;
        QTest::newRow("LF CR is two line ends")
            << QByteArray("[A]\n\rk=1\n\r") << u"A"_s << u"k"_s << u"1"_s;
        QTest::newRow("U+FEFF opening a key")
            << QByteArray("\xEF\xBB\xBF[A]\n\xEF\xBB\xBFk=1\nk=2\n") << u"A"_s << u"\uFEFFk"_s
            << u"1"_s;
        QTest::newRow("U+FEFF opening a key is no mark")
            << QByteArray("[A]\n\xEF\xBB\xBFk=1\n") << u"A"_s << u"k"_s << u"<default>"_s;
    }

    void readText()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeBytes(m_ini, file);
        QCOMPARE(SettingsFile::ReadText(section, key, u"<default>"_s), expected);
    }

    void readTextLimit_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        const QString long3000 = QString(1000, u'a') + QString(1000, u'b') + QString(1000, u'c');
        QTest::newRow("3000 characters") << long3000 << long3000.left(2047);
        QTest::newRow("2047 characters") << long3000.left(2047) << long3000.left(2047);
        // A cut through a surrogate pair would leave half a character.
        const QString pair = u"\U0001F600"_s;
        QTest::newRow("surrogate pair at the cut")
            << QString(2046, u'x') + pair + u"tail"_s << QString(2046, u'x');
    }

    void readTextLimit()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        SettingsFile::WriteText(u"FICHIER"_s, u"IMPORT"_s, stored);
        QCOMPARE(SettingsFile::ReadText(u"FICHIER"_s, u"IMPORT"_s, {}), expected);
    }

    void writeKeepsOtherLines_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("replace, other sections kept")
            << QByteArray("[FICHIER]\nIMPORT=old\n[outil]\nForm1=1:2:3:4\n[X]\ny=z\n")
            << u"FICHIER"_s << u"IMPORT"_s << u"/data/new=1.txt"_s
            << QByteArray("[FICHIER]\nIMPORT=/data/new=1.txt\n[outil]\nForm1=1:2:3:4\n[X]\ny=z\n");
        QTest::newRow("new key after the section's last entry")
            << QByteArray("[A]\nk1=1\n\n; comment\n[B]\nx=1\n") << u"A"_s << u"k2"_s << u"2"_s
            << QByteArray("[A]\nk1=1\nk2=2\n\n; comment\n[B]\nx=1\n");
        QTest::newRow("new key in a section without entries")
            << QByteArray("[A]\n[B]\nx=1\n") << u"A"_s << u"k"_s << u"v"_s
            << QByteArray("[A]\nk=v\n[B]\nx=1\n");
        QTest::newRow("new section appended")
            << QByteArray("[FICHIER]\nIMPORT=a\n") << u"outil"_s << u"Form1"_s
            << u"120:80:640:480"_s
            << QByteArray("[FICHIER]\nIMPORT=a\n[outil]\nForm1=120:80:640:480\n");
        QTest::newRow("new key after a last line without line end")
            << QByteArray("[A]\nk=1") << u"A"_s << u"j"_s << u"2"_s
            << QByteArray("[A]\nk=1\nj=2\n");
        QTest::newRow("new section after a last line without line end")
            << QByteArray("[A]\nk=1") << u"B"_s << u"x"_s << u"1"_s
            << QByteArray("[A]\nk=1\n[B]\nx=1\n");
        QTest::newRow("replace keeps the line without line end")
            << QByteArray("[A]\nk=1") << u"A"_s << u"k"_s << u"22"_s << QByteArray("[A]\nk=22");
        QTest::newRow("CR LF: replace")
            << QByteArray("[A]\r\nk=1\r\n[B]\r\nx=1\r\n") << u"A"_s << u"k"_s << u"2"_s
            << QByteArray("[A]\r\nk=2\r\n[B]\r\nx=1\r\n");
        QTest::newRow("CR LF: new key and section follow the file's line ends")
            << QByteArray("[A]\r\nk=1\r\n") << u"B"_s << u"x"_s << u"1"_s
            << QByteArray("[A]\r\nk=1\r\n[B]\r\nx=1\r\n");
        QTest::newRow("mixed line ends kept")
            << QByteArray("[A]\nk=1\r\n[B]\r\nx=1\n") << u"B"_s << u"x"_s << u"2"_s
            << QByteArray("[A]\nk=1\r\n[B]\r\nx=2\n");
        QTest::newRow("names ignore case")
            << QByteArray("[fichier]\nimport=old\n") << u"FICHIER"_s << u"IMPORT"_s << u"new"_s
            << QByteArray("[fichier]\nIMPORT=new\n");
        QTest::newRow("duplicate keys: the first is replaced")
            << QByteArray("[A]\nk=1\nk=2\n") << u"A"_s << u"k"_s << u"3"_s
            << QByteArray("[A]\nk=3\nk=2\n");
        QTest::newRow("duplicate sections: new key goes to the first")
            << QByteArray("[A]\nk=1\n[B]\n[A]\nj=2\n") << u"A"_s << u"m"_s << u"5"_s
            << QByteArray("[A]\nk=1\nm=5\n[B]\n[A]\nj=2\n");
        QTest::newRow("duplicate sections: existing key replaced where it is")
            << QByteArray("[A]\nk=1\n[B]\n[A]\nj=2\n") << u"A"_s << u"j"_s << u"9"_s
            << QByteArray("[A]\nk=1\n[B]\n[A]\nj=9\n");
        QTest::newRow("lines without = kept")
            << QByteArray("junk line\n[A]\nno equals here\nk=1\n  \n") << u"A"_s << u"k"_s << u"2"_s
            << QByteArray("junk line\n[A]\nno equals here\nk=2\n  \n");
        QTest::newRow("entry before any section is not the section's")
            << QByteArray("k=1\n[A]\n") << u"A"_s << u"k"_s << u"2"_s
            << QByteArray("k=1\n[A]\nk=2\n");
        QTest::newRow("byte-order mark kept")
            << QByteArray("\xEF\xBB\xBF[A]\nk=1\n") << u"A"_s << u"k"_s << u"2"_s
            << QByteArray("\xEF\xBB\xBF[A]\nk=2\n");
        QTest::newRow("binary junk kept byte for byte")
            << bytes("\x00\xFF\xFE\r\n\x80\x81=\x82\n") << u"A"_s << u"k"_s << u"v"_s
            << bytes("\x00\xFF\xFE\r\n\x80\x81=\x82\n[A]\r\nk=v\r\n");
        QTest::newRow("empty file")
            << QByteArray("") << u"A"_s << u"k"_s << u"v"_s << QByteArray("[A]\nk=v\n");
        QTest::newRow("UTF-8 value")
            << QByteArray("[A]\nk=1\n") << u"A"_s << u"k"_s << u"/données/été.txt"_s
            << QByteArray("[A]\nk=/données/été.txt\n");
        QTest::newRow("empty value")
            << QByteArray("[A]\nk=1\n") << u"A"_s << u"k"_s << QString() << QByteArray("[A]\nk=\n");
        QTest::newRow("lone CR line ends kept") << QByteArray("[A]\rk=1\r") << u"A"_s << u"j"_s
                                                << u"2"_s << QByteArray("[A]\rk=1\rj=2\n");
        QTest::newRow("lone CR at the end is a line end")
            << QByteArray("[A]\nk=1\n[=]\r") << u"B"_s << u"x"_s << u"1"_s
            << QByteArray("[A]\nk=1\n[=]\r[B]\nx=1\n");
        QTest::newRow("key opening with U+FEFF")
            << QByteArray("[A]\nx=1\n") << u"A"_s << u"\uFEFFk"_s << u"v"_s
            << QByteArray("[A]\nx=1\n\xEF\xBB\xBFk=v\n");
        QTest::newRow("key opening with U+FEFF after a key that matches without it")
            << QByteArray("[a]\nK=2\n\n; c\n[A]\nj=3") << u"A"_s << u"\uFEFFk"_s << u"v"_s
            << QByteArray("[a]\nK=2\n\xEF\xBB\xBFk=v\n\n; c\n[A]\nj=3");
        QTest::newRow("key opening with two U+FEFF")
            << QByteArray("[A]\nx=1\n") << u"A"_s << u"\uFEFF\uFEFFk"_s << u"v"_s
            << QByteArray("[A]\nx=1\n\xEF\xBB\xBF\xEF\xBB\xBFk=v\n");
        QTest::newRow("section opening with U+FEFF")
            << QByteArray("[A]\nx=1\n") << u"\uFEFFA"_s << u"k"_s << u"v"_s
            << QByteArray("[A]\nx=1\n[\xEF\xBB\xBF"
                          "A]\nk=v\n");
    }

    void writeKeepsOtherLines()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        writeBytes(m_ini, before);
        SettingsFile::WriteText(section, key, value);
        QCOMPARE(readBytes(m_ini), after);
        QCOMPARE(SettingsFile::ReadText(section, key, u"<default>"_s), value);
    }

    // The file opens with the entry, then holds short lines up to its size, or zero bytes (a
    // sparse file).
    void fileSizes_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("sparse");
        QTest::addColumn<bool>("readable");

        const qint64 mebibyte = 1024 * 1024;
        QTest::newRow("a few bytes") << qint64(0) << false << true;
        QTest::newRow("one long line after the entry") << 3 * mebibyte << true << true;
        QTest::newRow("3 MiB of short lines") << 3 * mebibyte << false << true;
        QTest::newRow("16 MiB of short lines") << 16 * mebibyte << false << true;
        QTest::newRow("16 MiB and one byte") << 16 * mebibyte + 1 << true << false;
        QTest::newRow("3 GB") << qint64(3000) * 1000 * 1000 << true << false;
    }

    // Reading costs a small constant, whatever the size: each row runs in a child that may map
    // only 256 MiB more. A file too large to be ours is one that cannot be read: reads give their
    // defaults and a write is refused with the write error, the file left as it was.
    void fileSizes()
    {
        QFETCH(qint64, size);
        QFETCH(bool, sparse);
        QFETCH(bool, readable);

        const QByteArray head = "[A]\nk=stored\n";
        if (sparse || size <= head.size()) {
            writeBytes(m_ini, head);
            if (size > 0)
                QCOMPARE(::truncate(QFile::encodeName(m_ini).constData(), size), 0);
        } else {
            QByteArray content = head;
            content.reserve(size);
            while (content.size() + 2 <= size)
                content.append("#\n");
            content.append(QByteArray(size - content.size(), '#'));
            writeBytes(m_ini, content);
        }
        const qint64 sizeBefore = QFileInfo(m_ini).size();

        enum : int { Right = 0, WrongRead = 1, WrongWrite = 2, OutOfMemory = 3 };
        const pid_t child = ::fork();
        if (child == 0) {
            limitAddressSpace(256 * 1024 * 1024);
            try {
                const QString value = SettingsFile::ReadText(u"a"_s, u"K"_s, u"default"_s, m_ini);
                if (value != (readable ? u"stored"_s : u"default"_s))
                    ::_exit(WrongRead);
                bool refused = false;
                try {
                    SettingsFile::WriteText(u"A"_s, u"k"_s, u"v"_s, m_ini);
                } catch (const SettingsWriteError &error) {
                    refused = error.message() == writeErrorFor(m_ini);
                }
                if (refused == readable)
                    ::_exit(WrongWrite);
                if (readable && SettingsFile::ReadText(u"A"_s, u"k"_s, {}, m_ini) != u"v"_s)
                    ::_exit(WrongWrite);
            } catch (const std::bad_alloc &) {
                ::_exit(OutOfMemory);
            }
            ::_exit(Right);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status), "the child was killed");
        QCOMPARE(WEXITSTATUS(status), int(Right));
        if (!readable) {
            QCOMPARE(QFileInfo(m_ini).size(), sizeBefore);
            QFile file(m_ini);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.read(head.size()), head);
        }
    }

    void firstWriteCreatesTheFileBesideTheExecutable()
    {
        QVERIFY(!QFile::exists(m_ini));
        QCOMPARE(SettingsFile::ReadText(u"FICHIER"_s, u"IMPORT"_s, u"rien"_s), u"rien"_s);
        SettingsFile::WriteText(u"FICHIER"_s, u"IMPORT"_s, u"/tmp/a.txt"_s);
        QCOMPARE(readBytes(m_ini), QByteArray("[FICHIER]\nIMPORT=/tmp/a.txt\n"));
        // Nothing is left beside it from the replacement.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{u"outil.INI"_s});
    }

    void writeKeepsTheFileMode()
    {
        writeBytes(m_ini, "[A]\nk=1\n");
        QVERIFY(QFile::setPermissions(m_ini, QFile::ReadOwner | QFile::WriteOwner));
        const QFile::Permissions before = QFile::permissions(m_ini);
        SettingsFile::WriteText(u"A"_s, u"k"_s, u"2"_s);
        QCOMPARE(readBytes(m_ini), QByteArray("[A]\nk=2\n"));
        QCOMPARE(QFile::permissions(m_ini), before);
    }

    void folderInPlaceOfTheFile()
    {
        QVERIFY(QDir(m_dir.path()).mkdir(u"outil.INI"_s));
        QCOMPARE(SettingsFile::ReadText(u"A"_s, u"k"_s, u"def"_s), u"def"_s);
        QCOMPARE(SettingsFile::ReadFlag(u"A"_s, u"k"_s, true), true);
        expectWriteError(m_ini);
        QVERIFY(QFileInfo(m_ini).isDir());
        QVERIFY(QDir(m_dir.path()).rmdir(u"outil.INI"_s));
    }

    // With no room left the old file must stay whole, and the close must hear of it.
    void fullDiskKeepsTheFile()
    {
        const QByteArray content = "[outil]\nForm1=1:2:3:4\n[CASES_A_COCHER]\nchk_AUTO=1\n";
        writeBytes(m_ini, content);
        for (const rlim_t room : {rlim_t(0), rlim_t(20)}) {
            const FileSizeLimit limit(room);
            QVERIFY(limit.isActive());
            expectWriteError(m_ini);
        }
        QCOMPARE(readBytes(m_ini), content);
        QVERIFY(namesIn(m_dir.path()).filter(u".tmp-"_s).isEmpty());
    }

    // outil.INI -> b -> missing.INI: the file at the end of the chain is created.
    void writeFollowsTheWholeLinkChain()
    {
        const QString end = m_dir.filePath(u"missing.INI"_s);
        const QString middle = m_dir.filePath(u"b"_s);
        QVERIFY(QFile::link(u"missing.INI"_s, middle));
        QVERIFY(QFile::link(u"b"_s, m_ini));
        SettingsFile::WriteText(u"A"_s, u"k"_s, u"v"_s);
        QCOMPARE(readBytes(end), QByteArray("[A]\nk=v\n"));
        QVERIFY(QFileInfo(middle).isSymLink());
        QVERIFY(QFileInfo(m_ini).isSymLink());
        QCOMPARE(SettingsFile::ReadText(u"A"_s, u"k"_s, {}), u"v"_s);
        QVERIFY(QFile::remove(m_ini));
        QVERIFY(QFile::remove(middle));
        QVERIFY(QFile::remove(end));
    }

    // A folder that refuses new files: the existing settings file is rewritten where it is, and
    // no new one can be made there.
    void folderRefusingNewFiles()
    {
        QVERIFY(QDir(m_dir.path()).mkpath(u"closed"_s));
        const QString path = m_dir.filePath(u"closed/outil.INI"_s);
        writeBytes(path, "[A]\nk=1\n[B]\nx=1\n");
        const ClosedFolder closed(m_dir.filePath(u"closed"_s));
        if (!closed.isClosed())
            QSKIP("this file system cannot close a folder to new files");
        SettingsFile::WriteText(u"A"_s, u"k"_s, u"22"_s, path);
        QCOMPARE(readBytes(path), QByteArray("[A]\nk=22\n[B]\nx=1\n"));
        expectWriteError(m_dir.filePath(u"closed/autre.INI"_s));
        QCOMPARE(namesIn(m_dir.filePath(u"closed"_s)), QStringList{u"outil.INI"_s});
    }

    // A lock file left by a killed process is held by nobody: the write goes ahead and the
    // file goes away.
    void staleLockFileIgnored()
    {
        const QString lockName = m_ini + u".lock"_s;
        writeBytes(lockName, "");
        SettingsFile::WriteText(u"A"_s, u"k"_s, u"v"_s);
        QCOMPARE(readBytes(m_ini), QByteArray("[A]\nk=v\n"));
        QVERIFY(!QFile::exists(lockName));
    }

    // A pipe would block a read and a device never end it: neither is a settings file.
    void pipeInPlaceOfTheFile()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(m_ini).constData(), 0644), 0);
        QCOMPARE(SettingsFile::ReadText(u"A"_s, u"k"_s, u"def"_s), u"def"_s);
        expectWriteError(m_ini);
        QVERIFY(QFile::remove(m_ini));
    }

    // The system would take the path only up to its U+0000, which names another file.
    void pathHoldingNulNamesNothing()
    {
        writeBytes(m_ini, "[A]\nk=v\n");
        const QString path = m_ini + u"\0.bak"_s;
        QCOMPARE(SettingsFile::ReadText(u"A"_s, u"k"_s, u"def"_s, path), u"def"_s);
        expectWriteError(path);
        QCOMPARE(readBytes(m_ini), QByteArray("[A]\nk=v\n"));
    }

    void unwritablePaths_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("missing folder") << u"absent/outil.INI"_s;
        QTest::newRow("under a regular file") << u"plain.txt/outil.INI"_s;
    }

    void unwritablePaths()
    {
        QFETCH(QString, relativePath);
        writeBytes(m_dir.filePath(u"plain.txt"_s), "x");
        const QString path = m_dir.filePath(relativePath);
        QCOMPARE(SettingsFile::ReadText(u"A"_s, u"k"_s, u"def"_s, path), u"def"_s);
        expectWriteError(path);
        QVERIFY(!QFile::exists(path));
    }

    void defaultPathInTheWriteError()
    {
        ExecutableFacts facts;
        facts.filePath = m_dir.filePath(u"absent/outil.exe"_s);
        setExecutableFacts(facts);
        try {
            SettingsFile::WriteFlag(u"CASES_A_COCHER"_s, u"chk_AUTO"_s, true);
            QFAIL("the write was reported as done");
        } catch (const SettingsWriteError &error) {
            QCOMPARE(error.message(), writeErrorFor(m_dir.filePath(u"absent/outil.INI"_s)));
        }
    }

    // Root may write any file, so the refusal must come from the mode bits themselves.
    void readOnlyFileRefused()
    {
        const QByteArray content = "[A]\nk=1\n[B]\nx=1\n";
        writeBytes(m_ini, content);
        QVERIFY(
            QFile::setPermissions(m_ini, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        expectWriteError(m_ini);
        QCOMPARE(readBytes(m_ini), content);
        QCOMPARE(SettingsFile::ReadText(u"A"_s, u"k"_s, {}), u"1"_s);

        QVERIFY(QFile::setPermissions(m_ini, QFile::ReadOwner | QFile::WriteOwner));
        SettingsFile::WriteText(u"A"_s, u"k"_s, u"v"_s);
        QCOMPARE(readBytes(m_ini), QByteArray("[A]\nk=v\n[B]\nx=1\n"));
    }

    // A line break would turn the value into several lines: the write is refused instead.
    void lineBreakInValueRefused_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("LF") << u"/tmp/a\nb.txt"_s;
        QTest::newRow("CR") << u"/tmp/a\rb.txt"_s;
        QTest::newRow("CR LF") << u"a\r\n[B]"_s;
    }

    void lineBreakInValueRefused()
    {
        QFETCH(QString, value);
        const QByteArray content = "[A]\nk=1\n";
        writeBytes(m_ini, content);
        expectWriteError(m_ini, value);
        QCOMPARE(readBytes(m_ini), content);
    }

    // Where the settings live, by what stands beside the executable.
    void settingsHome_data()
    {
        QTest::addColumn<QString>("beside");
        QTest::addColumn<bool>("inUserFolder");
        QTest::addColumn<QByteArray>("userFileStart");
        const QByteArray old = "[A]\nk=old\n[B]\nx=1\n";
        QTest::newRow("no file, writable folder") << u"none"_s << false << QByteArray();
        QTest::newRow("writable file") << u"file"_s << false << QByteArray();
        QTest::newRow("writable file, closed folder") << u"file closed"_s << false << QByteArray();
        QTest::newRow("read-only file") << u"read-only"_s << true << old;
        QTest::newRow("read-only file, closed folder") << u"read-only closed"_s << true << old;
        QTest::newRow("no file, read-only folder")
            << u"none read-only-folder"_s << true << QByteArray();
        QTest::newRow("folder") << u"folder"_s << true << QByteArray();
        QTest::newRow("pipe") << u"pipe"_s << true << QByteArray();
        QTest::newRow("link to /dev/zero") << u"zero"_s << true << QByteArray();
        QTest::newRow("link to a read-only file") << u"link read-only"_s << true << old;
    }

    void settingsHome()
    {
        QFETCH(QString, beside);
        QFETCH(bool, inUserFolder);
        QFETCH(QByteArray, userFileStart);
        const QTemporaryDir dir;
        const QString program = dir.filePath(u"prog"_s);
        QVERIFY(QDir().mkdir(program));
        useExecutableIn(program, u"extracteur"_s);
        // The configuration folder outside the program's folder, which some rows close.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(u"config"_s)));
        const QString ini = program + u"/extracteur.INI"_s;
        const QString user = dir.filePath(u"config/extracteur/extracteur.INI"_s);
        QCOMPARE(SettingsFile::UserSettingsPath(), user);
        const QByteArray old = "[A]\nk=old\n[B]\nx=1\n";
        const QByteArray native = QFile::encodeName(ini);

        if (beside.startsWith(u"file"_s) || beside.endsWith(u"read-only"_s) ||
            beside.startsWith(u"read-only"_s))
            writeBytes(beside.startsWith(u"link"_s) ? dir.filePath(u"real.INI"_s) : ini, old);
        if (beside.startsWith(u"link"_s))
            QVERIFY(QFile::link(dir.filePath(u"real.INI"_s), ini));
        if (beside.contains(u"read-only"_s) && !beside.contains(u"folder"_s))
            QVERIFY(::chmod(QFile::encodeName(QFileInfo(ini).canonicalFilePath()).constData(),
                            0444) == 0);
        if (beside == u"folder"_s)
            QVERIFY(QDir().mkdir(ini));
        if (beside == u"pipe"_s)
            QCOMPARE(::mkfifo(native.constData(), 0644), 0);
        if (beside == u"zero"_s)
            QVERIFY(QFile::link(u"/dev/zero"_s, ini));
        if (beside.endsWith(u"read-only-folder"_s))
            QCOMPARE(::chmod(QFile::encodeName(program).constData(), 0555), 0);
        std::optional<ClosedFolder> closed;
        if (beside.endsWith(u"closed"_s)) {
            closed.emplace(program);
            QVERIFY(closed->isClosed());
        }

        QCOMPARE(SettingsFile::SettingsPath(), inUserFolder ? user : ini);
        QCOMPARE(QFile::exists(user), !userFileStart.isEmpty());
        if (!userFileStart.isEmpty())
            QCOMPARE(readBytes(user), userFileStart);

        SettingsFile::WriteText(u"A"_s, u"k"_s, u"new"_s);
        QCOMPARE(SettingsFile::ReadText(u"A"_s, u"k"_s, {}), u"new"_s);
        if (inUserFolder) {
            const QByteArray expected =
                userFileStart.isEmpty() ? QByteArray("[A]\nk=new\n") : "[A]\nk=new\n[B]\nx=1\n";
            QCOMPARE(readBytes(user), expected);
            // Later starts read the user's file, not the one beside the executable.
            QCOMPARE(SettingsFile::ReadText(u"B"_s, u"x"_s, {}),
                     userFileStart.isEmpty() ? u""_s : u"1"_s);
        } else {
            QVERIFY(!QFile::exists(user));
            QVERIFY(readBytes(ini).contains("k=new\n"));
        }
        if (beside.contains(u"read-only"_s) && !beside.contains(u"folder"_s))
            QCOMPARE(readBytes(ini), old);

        closed.reset();
        ::chmod(QFile::encodeName(program).constData(), 0755);
        if (beside == u"folder"_s)
            QVERIFY(QDir().rmdir(ini));
    }

    // No room where the settings live beside the program: the error stays, nothing moves.
    void fullDiskBesideIsNoReasonToMove()
    {
        const QByteArray content = "[A]\nk=1\n";
        writeBytes(m_ini, content);
        QFile::remove(SettingsFile::UserSettingsPath());
        {
            const FileSizeLimit noRoom(0);
            QVERIFY(noRoom.isActive());
            expectWriteError(m_ini);
            try {
                SettingsFile::WriteText(u"A"_s, u"k"_s, u"v"_s);
                QFAIL("the write was reported as done");
            } catch (const SettingsWriteError &error) {
                QCOMPARE(error.message(), writeErrorFor(m_ini));
            }
        }
        QCOMPARE(readBytes(m_ini), content);
        QVERIFY(!QFile::exists(SettingsFile::UserSettingsPath()));
    }

    void executableNames_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("settingsPath");
        QTest::newRow("outil.exe") << u"/apps/outil.exe"_s << u"/apps/outil.INI"_s;
        QTest::newRow("mon.outil.exe") << u"/apps/mon.outil.exe"_s << u"/apps/mon.outil.INI"_s;
        QTest::newRow("Outil.EXE") << u"/apps/Outil.EXE"_s << u"/apps/Outil.INI"_s;
        QTest::newRow("no extension, dotted folder")
            << u"/Mes.outils/outil"_s << u"/Mes.outils/outil.INI"_s;
        QTest::newRow(".hidden") << u"/apps/.hidden"_s << u"/apps/.hidden.INI"_s;
        QTest::newRow(".hidden.exe") << u"/apps/.hidden.exe"_s << u"/apps/.hidden.INI"_s;
        QTest::newRow("trailing dot") << u"/apps/outil."_s << u"/apps/outil.INI"_s;
        QTest::newRow("extracteur") << u"/usr/bin/extracteur"_s << u"/usr/bin/extracteur.INI"_s;
    }

    void executableNames()
    {
        QFETCH(QString, executable);
        QFETCH(QString, settingsPath);
        ExecutableFacts facts;
        facts.filePath = executable;
        setExecutableFacts(facts);
        QCOMPARE(SettingsFile::ExecutableSettingsPath(), settingsPath);
    }

    void splitText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("four parts")
            << u"10:20:300:400"_s << u":"_s << QStringList{u"10"_s, u"20"_s, u"300"_s, u"400"_s};
        QTest::newRow("empty part inside")
            << u"10::300:400"_s << u":"_s << QStringList{u"10"_s, QString(), u"300"_s, u"400"_s};
        QTest::newRow("empty first part")
            << u":10:20:30"_s << u":"_s << QStringList{QString(), u"10"_s, u"20"_s, u"30"_s};
        QTest::newRow("empty rest dropped")
            << u"10:20:300:400:"_s << u":"_s << QStringList{u"10"_s, u"20"_s, u"300"_s, u"400"_s};
        QTest::newRow("empty text") << QString() << u":"_s << QStringList();
        QTest::newRow("separator alone") << u":"_s << u":"_s << QStringList{QString()};
        QTest::newRow("no separator") << u"abc"_s << u":"_s << QStringList{u"abc"_s};
        QTest::newRow("longer separator") << u"a::b::"_s << u"::"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("empty separator") << u"a:b"_s << QString() << QStringList{u"a:b"_s};
    }

    void splitText()
    {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(QStringList, parts);
        QCOMPARE(SplitText(text, separator), parts);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settings_file.moc"
