#include <cerrno>
#include <csignal>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "text/text_table.h"
#include "io/text_encoding.h"
#include "io/text_file.h"
#include "errors/app_error.h"
#include "platform/system_error_text.h"
#include "support/write_fixtures.h"
#include "support/fixtures.h"

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <sys/wait.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TextEncoding)
Q_DECLARE_METATYPE(ReadingMode)

namespace {

// How a read ended in a child process whose address space was limited.
enum class LimitedRead { Loaded = 10, OutOfMemoryError, OtherError, BadAlloc, WrongCount };

// The process's mapped size in bytes.
qulonglong mappedBytes()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(0).toULongLong() *
           static_cast<qulonglong>(sysconf(_SC_PAGESIZE));
}

} // namespace

class TestTextFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readWholeFile_data();
    void readWholeFile();
    void readOpenFailures_data();
    void readOpenFailures();
    void readLongLine();
    void readRefusesFilesOfTwoGibibytes();
    void readRefusesWhatIsNotARegularFile_data();
    void readRefusesWhatIsNotARegularFile();
    void readAcrossPieces_data();
    void readAcrossPieces();
    void readInTwoHalves_data();
    void readInTwoHalves();
    void readRefusesWhatWillNotFit_data();
    void readRefusesWhatWillNotFit();

    void save_data();
    void save();
    void saveCreateFailures_data();
    void saveCreateFailures();
    void saveOnFullDiskKeepsPreviousFile();

private:
    QString pathOf(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_savedCurrent;
};

void TestTextFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_savedCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestTextFile::cleanup()
{
    QDir::setCurrent(m_savedCurrent);
    m_dir.reset();
}

void TestTextFile::readWholeFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty file") << QByteArray() << TextEncoding::SystemCodePage << QStringList();
    QTest::newRow("only utf-8 mark") << hex("EFBBBF") << TextEncoding::Utf8 << QStringList();
    QTest::newRow("only utf-16le mark") << hex("FFFE") << TextEncoding::Utf16LE << QStringList();
    QTest::newRow("only utf-16be mark") << hex("FEFF") << TextEncoding::Utf16BE << QStringList();
    QTest::newRow("cp1252 lines") << hex("E90D0A620D0A") << TextEncoding::SystemCodePage
                                  << QStringList{u"é"_s, u"b"_s};
    QTest::newRow("cp1252 zero byte ends")
        << hex("6100620D0A63") << TextEncoding::SystemCodePage << QStringList{u"a"_s};
    QTest::newRow("utf-16le without mark")
        << hex("61006200") << TextEncoding::SystemCodePage << QStringList{u"a"_s};
    QTest::newRow("utf-16le mark then zero unit")
        << hex("FFFE00006100") << TextEncoding::Utf16LE << QStringList();
    QTest::newRow("utf-16be lines")
        << hex("FEFF0061000D000A0062") << TextEncoding::Utf16BE << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("utf-8 lines") << hex("EFBBBFC3A90A620D") << TextEncoding::Utf8
                                 << QStringList{u"é"_s, u"b"_s};
    QTest::newRow("utf-8 malformed gives nothing")
        << hex("EFBBBF610D0A62FF0D0A") << TextEncoding::Utf8 << QStringList();
    QTest::newRow("utf-8 mark twice")
        << hex("EFBBBFEFBBBF61") << TextEncoding::Utf8 << QStringList{u"\uFEFFa"_s};
}

// The whole read path, as the list's load runs it.
void TestTextFile::readWholeFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QFETCH(QStringList, lines);

    writeBytes(pathOf(u"in.txt"_s), bytes);
    const QByteArray read = ReadWholeFile(u"in.txt"_s);
    QCOMPARE(read, bytes);
    const TextFileContent content = ReadTextFile(u"in.txt"_s);
    QCOMPARE(content.encoding, encoding);
    QStringList found;
    for (qsizetype i = 0; i < content.lines.size(); ++i)
        found.append(content.lines.at(i).toString());
    QCOMPARE(found, lines);
}

void TestTextFile::readOpenFailures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("errorNumber");

    QTest::newRow("missing file") << QString() << u"missing.txt"_s << ENOENT;
    QTest::newRow("missing folder") << QString() << u"nowhere/in.txt"_s << ENOENT;
    QTest::newRow("folder") << u"folder"_s << u"folder"_s << EISDIR;
    QTest::newRow("under a regular file") << u"file"_s << u"plain.txt/in.txt"_s << ENOTDIR;
    QTest::newRow("name too long") << QString() << QString(300, u'n') << ENAMETOOLONG;
    QTest::newRow("empty name") << QString() << QString() << ENOENT;
}

void TestTextFile::readOpenFailures()
{
    QFETCH(QString, setup);
    QFETCH(QString, path);
    QFETCH(int, errorNumber);

    if (setup == u"folder"_s)
        QVERIFY(QDir(m_dir->path()).mkdir(u"folder"_s));
    if (setup == u"file"_s)
        writeBytes(pathOf(u"plain.txt"_s), "x");

    const QString expected = u"Impossible d'ouvrir le fichier \"%1\". %2"_s.arg(
        QFileInfo(path).absoluteFilePath(), SystemErrorText(errorNumber));
    try {
        ReadWholeFile(path);
        QFAIL("no error raised");
    } catch (const FileOpenError &error) {
        QCOMPARE(error.message(), expected);
        QVERIFY(path.isEmpty() ||
                error.message().startsWith(u"Impossible d'ouvrir le fichier \""_s + m_dir->path()));
    }
}

void TestTextFile::readLongLine()
{
    const qsizetype size = 50 * 1000 * 1000;
    QByteArray bytes(size, 'x');
    bytes[size - 1] = '\xE9';
    writeBytes(pathOf(u"long.txt"_s), bytes);
    bytes = QByteArray();

    const QByteArray read = ReadWholeFile(pathOf(u"long.txt"_s));
    QCOMPARE(read.size(), size);
    const QString text = DecodeText(read, DetectEncoding(read).encoding);
    const std::vector<TextSpan> lines = TextToLines(text);
    QCOMPARE(lines.size(), 1u);
    QCOMPARE(lines[0].offset, 0);
    QCOMPARE(lines[0].length, size);
    QCOMPARE(text.back(), u'é');
}

void TestTextFile::readRefusesFilesOfTwoGibibytes()
{
    // A sparse file: the size is there without the bytes.
    const QString path = pathOf(u"huge.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64{1} << 31));
    file.close();
    try {
        ReadWholeFile(path);
        QFAIL("a 2 GiB file was read");
    } catch (const FileOpenError &error) {
        QCOMPARE(error.message(), u"Impossible d'ouvrir le fichier \"%1\". Le fichier est trop "
                                  u"volumineux (2 Gio ou plus)"_s.arg(path));
    }
}

void TestTextFile::readRefusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("named pipe without a writer") << u"fifo"_s;
    QTest::newRow("endless device") << u"/dev/zero"_s;
    QTest::newRow("empty device") << u"/dev/null"_s;
    QTest::newRow("socket") << u"socket"_s;
}

// Dropped or named at start, a pipe, a device or a socket is refused at once: nothing blocks
// and nothing endless is read.
void TestTextFile::readRefusesWhatIsNotARegularFile()
{
    QFETCH(QString, kind);

    QString path = kind;
    if (kind == u"fifo"_s) {
        path = pathOf(u"pipe"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == u"socket"_s) {
        path = pathOf(u"sock"_s);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (name.size() >= qsizetype(sizeof address.sun_path)) {
            ::close(fd);
            QSKIP("temporary folder path too long for a socket");
        }
        std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
        const int bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        ::close(fd);
        QCOMPARE(bound, 0);
    }
    const QString expected =
        u"Impossible d'ouvrir le fichier \"%1\". Ce n'est pas un fichier ordinaire"_s.arg(path);
    for (const bool whole : {true, false}) {
        try {
            if (whole)
                ReadWholeFile(path);
            else
                ReadTextFile(path);
            QFAIL("no error raised");
        } catch (const FileOpenError &error) {
            QCOMPARE(error.message(), expected);
        }
    }
}

void TestTextFile::readAcrossPieces_data()
{
    QTest::addColumn<QByteArray>("mark");
    QTest::addColumn<QByteArray>("tail");

    // The file is read a mebibyte at a time: `tail` is put so that it straddles that boundary
    // at every offset.
    QTest::newRow("cp1252 crlf") << QByteArray() << hex("610D0A620D0A");
    QTest::newRow("cp1252 zero then more") << QByteArray() << hex("61006263");
    QTest::newRow("utf-8 four-byte character and crlf") << hex("EFBBBF") << hex("F09F98800D0AC3A9");
    QTest::newRow("utf-8 malformed after the boundary") << hex("EFBBBF") << hex("E282AC61FF");
    QTest::newRow("utf-8 zero, then malformed") << hex("EFBBBF") << hex("610062E2FF");
    QTest::newRow("utf-8 cut at the end") << hex("EFBBBF") << hex("0A61E282");
    QTest::newRow("utf-16le pair and crlf") << hex("FFFE") << hex("3DD800DE0D000A006100");
    QTest::newRow("utf-16be odd last byte") << hex("FEFF") << hex("0061000D000A0062FF");
}

// Reading in pieces gives the lines decoding the whole file gives, wherever a character, a
// CR LF or a U+0000 falls against the pieces.
void TestTextFile::readAcrossPieces()
{
    QFETCH(QByteArray, mark);
    QFETCH(QByteArray, tail);

    const qsizetype piece = qsizetype{1} << 20;
    const DetectedEncoding detected = DetectEncoding(mark);
    const bool wide =
        detected.encoding == TextEncoding::Utf16LE || detected.encoding == TextEncoding::Utf16BE;
    for (qsizetype before = 1; before <= tail.size() + 1; ++before) {
        QByteArray bytes = mark;
        // Long filler lines of "x" (in UTF-16, "x" units) up to just before the boundary.
        QByteArray line = wide ? QByteArray() : QByteArray(1023, 'x') + '\n';
        if (wide) {
            const QByteArray unit =
                detected.encoding == TextEncoding::Utf16LE ? hex("7800") : hex("0078");
            line = unit.repeated(511) +
                   (detected.encoding == TextEncoding::Utf16LE ? hex("0A00") : hex("000A"));
        }
        while (bytes.size() < piece - before)
            bytes += line;
        bytes.truncate(piece - before);
        if (wide && (bytes.size() - mark.size()) % 2 != 0)
            bytes.chop(1);
        bytes += tail;
        writeBytes(pathOf(u"pieces.txt"_s), bytes);

        const QString text =
            DecodeText(QByteArrayView(bytes).sliced(mark.size()), detected.encoding);
        const std::vector<TextSpan> expected = TextToLines(text);
        const TextFileContent content = ReadTextFile(pathOf(u"pieces.txt"_s));
        QCOMPARE(content.encoding, detected.encoding);
        QCOMPARE(content.lines.size(), static_cast<qsizetype>(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const TextSpan &span = expected[i];
            QCOMPARE(content.lines.at(static_cast<qsizetype>(i)),
                     QStringView(text).mid(span.offset, span.length));
        }
    }
}

void TestTextFile::readInTwoHalves_data()
{
    QTest::addColumn<QByteArray>("mark");
    QTest::addColumn<QByteArray>("middle");

    QTest::newRow("cp1252 crlf and empty lines") << QByteArray() << hex("610D0A0D0A620D0D0A63");
    QTest::newRow("cp1252 lf cr and lone cr") << QByteArray() << hex("610A0D620D63");
    QTest::newRow("cp1252 zero") << QByteArray() << hex("610D0A62006364");
    QTest::newRow("cp1252 zero right after a line end") << QByteArray() << hex("610D0A0062");
    QTest::newRow("utf-16le surrogate pair and crlf")
        << hex("FFFE") << hex("61003DD800DE0D000A000D006200");
    QTest::newRow("utf-16le zero unit") << hex("FFFE") << hex("61000A00000062006300");
    QTest::newRow("utf-16be odd last byte") << hex("FEFF") << hex("0061000D000A0062FF");
}

// A large file is read as two halves on two cores: wherever the middle falls (inside a CR LF,
// between the units of a pair, before a U+0000), the content is the one a single pass gives.
void TestTextFile::readInTwoHalves()
{
    QFETCH(QByteArray, mark);
    QFETCH(QByteArray, middle);

    const bool wide = !mark.isEmpty();
    const QByteArray x = wide ? (mark == hex("FFFE") ? hex("7800") : hex("0078")) : "x";
    const auto linesOf = [](const TextFileContent &content) {
        QStringList found;
        for (qsizetype i = 0; i < content.lines.size(); ++i)
            found.append(content.lines.at(i).toString());
        return found;
    };
    for (int before = 0; before <= 12; ++before) {
        QByteArray bytes = mark;
        for (int i = 0; i < before; ++i)
            bytes += x;
        bytes += middle;
        for (int i = 0; i < 12 - before; ++i)
            bytes += x;
        writeBytes(pathOf(u"halves.txt"_s), bytes);

        const TextFileContent one = ReadTextFile(pathOf(u"halves.txt"_s), ReadingMode::OnePass);
        const TextFileContent two = ReadTextFile(pathOf(u"halves.txt"_s), ReadingMode::TwoHalves);
        QCOMPARE(two.encoding, one.encoding);
        QCOMPARE(linesOf(two), linesOf(one));
    }
}

void TestTextFile::readRefusesWhatWillNotFit_data()
{
    QTest::addColumn<QByteArray>("mark");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("mebibytes");
    QTest::addColumn<int>("zeroAtLine"); // -1: none
    QTest::addColumn<ReadingMode>("mode");
    QTest::addColumn<bool>("fits");

    const QByteArray longLine = QByteArray(99, 'x') + '\n';
    const QByteArray longWideLine = hex("0078").repeated(99) + hex("000A");
    QTest::newRow("line feeds, one pass")
        << QByteArray() << QByteArray("\n") << 64 << -1 << ReadingMode::OnePass << false;
    QTest::newRow("line feeds, two halves")
        << QByteArray() << QByteArray("\n") << 64 << -1 << ReadingMode::TwoHalves << false;
    QTest::newRow("line feeds, UTF-16")
        << hex("FFFE") << hex("0A00") << 128 << -1 << ReadingMode::TwoHalves << false;
    QTest::newRow("long lines, counted")
        << QByteArray() << longLine << 64 << -1 << ReadingMode::TwoHalves << true;
    QTest::newRow("long lines, UTF-16, counted")
        << hex("FEFF") << longWideLine << 128 << -1 << ReadingMode::TwoHalves << true;
    QTest::newRow("long lines, UTF-8")
        << hex("EFBBBF") << longLine << 64 << -1 << ReadingMode::Automatic << true;
    QTest::newRow("line feeds past a zero byte")
        << QByteArray() << QByteArray("\n") << 64 << 4 << ReadingMode::OnePass << true;
}

// With little address space left, a file whose entries cannot fit is refused with the open
// error for lack of memory, before anything is decoded, instead of the process dying; a file of
// the same size that fits loads.
void TestTextFile::readRefusesWhatWillNotFit()
{
    if (addressSanitizer)
        QSKIP("AddressSanitizer needs a large address space");
    QFETCH(QByteArray, mark);
    QFETCH(QByteArray, line);
    QFETCH(int, mebibytes);
    QFETCH(int, zeroAtLine);
    QFETCH(ReadingMode, mode);
    QFETCH(bool, fits);

    const qsizetype lines = (qsizetype{mebibytes} << 20) / line.size();
    QByteArray bytes = mark + line.repeated(lines);
    if (zeroAtLine >= 0)
        bytes[mark.size() + zeroAtLine * line.size()] = '\0';
    const qsizetype expected = zeroAtLine >= 0 ? zeroAtLine : lines;
    const QString path = pathOf(u"big.txt"_s);
    writeBytes(path, bytes);
    bytes = QByteArray();

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const rlimit limit{mappedBytes() + (qulonglong{400} << 20), RLIM_INFINITY};
        LimitedRead outcome = LimitedRead::Loaded;
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(1);
        try {
            if (ReadTextFile(path, mode).lines.size() != expected)
                outcome = LimitedRead::WrongCount;
        } catch (const FileOpenError &error) {
            outcome = error.message() == OpenErrorFor(path, ENOMEM).message()
                          ? LimitedRead::OutOfMemoryError
                          : LimitedRead::OtherError;
        } catch (const AppError &) {
            outcome = LimitedRead::OtherError;
        } catch (const std::bad_alloc &) {
            outcome = LimitedRead::BadAlloc;
        }
        _exit(static_cast<int>(outcome));
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "the reading process was killed");
    QCOMPARE(WEXITSTATUS(status),
             static_cast<int>(fits ? LimitedRead::Loaded : LimitedRead::OutOfMemoryError));
}

void TestTextFile::save_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QByteArray>("bytes");

    const QStringList ab{u"a"_s, u"b"_s};
    QTest::newRow("empty list, system code page")
        << QStringList() << TextEncoding::SystemCodePage << QByteArray();
    QTest::newRow("empty list, utf-8") << QStringList() << TextEncoding::Utf8 << hex("EFBBBF");
    QTest::newRow("a b, system code page")
        << ab << TextEncoding::SystemCodePage << hex("610D0A620D0A");
    QTest::newRow("a b, utf-8") << ab << TextEncoding::Utf8 << hex("EFBBBF610D0A620D0A");
    QTest::newRow("a b, utf-16le")
        << ab << TextEncoding::Utf16LE << hex("FFFE61000D000A0062000D000A00");
    QTest::newRow("a b, utf-16be")
        << ab << TextEncoding::Utf16BE << hex("FEFF0061000D000A0062000D000A");
    QTest::newRow("substitutes, system code page")
        << QStringList{u"€ ā ａ 中"_s} << TextEncoding::SystemCodePage << hex("80203F2061203F0D0A");
}

// The whole save path, as the list's save runs it.
void TestTextFile::save()
{
    QFETCH(QStringList, entries);
    QFETCH(TextEncoding, encoding);
    QFETCH(QByteArray, bytes);

    QString text;
    for (const QString &entry : entries)
        text += entry + u"\r\n"_s;
    WriteWholeFile(u"ADRESSES.TXT"_s, ByteOrderMark(encoding), EncodeText(text, encoding));
    QCOMPARE(readBytes(pathOf(u"ADRESSES.TXT"_s)), bytes);
}

void TestTextFile::saveCreateFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("errorNumber");

    QTest::newRow("missing folder") << u"nowhere/out.txt"_s << ENOENT;
    QTest::newRow("folder at the path") << u"folder"_s << EISDIR;
    QTest::newRow("under a regular file") << u"plain.txt/out.txt"_s << ENOTDIR;
    QTest::newRow("name too long") << QString(300, u'n') << ENAMETOOLONG;
}

void TestTextFile::saveCreateFailures()
{
    QFETCH(QString, path);
    QFETCH(int, errorNumber);

    QVERIFY(QDir(m_dir->path()).mkdir(u"folder"_s));
    writeBytes(pathOf(u"plain.txt"_s), "keep");

    const QString expected = u"Impossible de créer le fichier \"%1\". %2"_s.arg(
        QFileInfo(path).absoluteFilePath(), SystemErrorText(errorNumber));
    try {
        WriteWholeFile(path, hex("EFBBBF"), "text");
        QFAIL("no error raised");
    } catch (const FileCreateError &error) {
        QCOMPARE(error.message(), expected);
    }
    QVERIFY(QFileInfo(pathOf(u"folder"_s)).isDir());
    QCOMPARE(readBytes(pathOf(u"plain.txt"_s)), QByteArray("keep"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{u"folder"_s, u"plain.txt"_s}));
}

void TestTextFile::saveOnFullDiskKeepsPreviousFile()
{
    const QString path = pathOf(u"out.txt"_s);
    const QByteArray previous(3000, 'p');
    writeBytes(path, previous);
    {
        FileSizeLimit limit(4096);
        QVERIFY(limit.isActive());
        try {
            WriteWholeFile(path, hex("FFFE"), QByteArray(64 * 1024, 'n'));
            QFAIL("no error raised");
        } catch (const FileWriteError &error) {
            QCOMPARE(error.message(), u"Erreur d'écriture dans le flux"_s);
        }
        // The limit also stops a mark that cannot be written at all.
        FileSizeLimit none(0);
        QVERIFY_THROWS_EXCEPTION(FileWriteError, WriteWholeFile(path, hex("FFFE"), "x"));
    }
    QCOMPARE(readBytes(path), previous);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"out.txt"_s});
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_text_file.moc"
