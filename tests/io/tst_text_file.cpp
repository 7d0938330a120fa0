#include <cerrno>
#include <csignal>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "extract/text_table.h"
#include "io/text_encoding.h"
#include "io/text_file.h"
#include "errors/app_error.h"
#include "platform/system_error_text.h"
#include "support/fixtures.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TextEncoding)

namespace {

// Limits the size of any file this process writes; write() then fails with EFBIG instead of
// raising SIGXFSZ. Restored on destruction.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    bool isActive() const { return m_active; }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
    bool m_active = false;
};

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

    void save_data();
    void save();
    void saveReplacesCompletelyAndLeavesNothingBehind();
    void saveKeepsPermissions();
    void saveThroughSymbolicLink();
    void saveThroughDanglingLinkCreatesItsFile();
    void saveKeepsHardLinksTogether();
    void saveCreateFailures_data();
    void saveCreateFailures();
    void saveReadOnlyFile();
    void saveWhereFolderRefusesNewFiles();
    void saveOnFullDiskKeepsPreviousFile();

    void systemErrorText_data();
    void systemErrorText();
    void trimErrorText_data();
    void trimErrorText();
    void unknownErrorNumber();

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

void TestTextFile::saveReplacesCompletelyAndLeavesNothingBehind()
{
    const QString path = pathOf(u"out.txt"_s);
    writeBytes(path, QByteArray(10000, 'p'));
    WriteWholeFile(path, hex("EFBBBF"), "new");
    QCOMPARE(readBytes(path), hex("EFBBBF") + "new");
    WriteWholeFile(path, {}, {});
    QCOMPARE(readBytes(path), QByteArray());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"out.txt"_s});
}

void TestTextFile::saveKeepsPermissions()
{
    const QString path = pathOf(u"out.txt"_s);
    writeBytes(path, "old");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
    WriteWholeFile(path, {}, "new");
    struct stat status = {};
    QVERIFY(::stat(QFile::encodeName(path).constData(), &status) == 0);
    QCOMPARE(status.st_mode & 07777, 0640u);
    QCOMPARE(readBytes(path), QByteArray("new"));

    // A new file gets the ordinary permissions of a created file, not those of a private
    // temporary one.
    const mode_t mask = ::umask(022);
    WriteWholeFile(pathOf(u"fresh.txt"_s), {}, "x");
    ::umask(mask);
    QVERIFY(::stat(QFile::encodeName(pathOf(u"fresh.txt"_s)).constData(), &status) == 0);
    QCOMPARE(status.st_mode & 07777, 0644u);
}

void TestTextFile::saveThroughSymbolicLink()
{
    QVERIFY(QDir(m_dir->path()).mkdir(u"real"_s));
    const QString real = pathOf(u"real/target.txt"_s);
    writeBytes(real, "old");
    QVERIFY(QFile::link(real, pathOf(u"link.txt"_s)));
    WriteWholeFile(pathOf(u"link.txt"_s), {}, "new");
    QVERIFY(QFileInfo(pathOf(u"link.txt"_s)).isSymLink());
    QCOMPARE(readBytes(real), QByteArray("new"));
}

void TestTextFile::saveThroughDanglingLinkCreatesItsFile()
{
    QVERIFY(QDir(m_dir->path()).mkdir(u"real"_s));
    const QString real = pathOf(u"real/missing.txt"_s);
    QVERIFY(QFile::link(real, pathOf(u"link.txt"_s)));
    WriteWholeFile(pathOf(u"link.txt"_s), {}, "new");
    QVERIFY(QFileInfo(pathOf(u"link.txt"_s)).isSymLink());
    QCOMPARE(readBytes(real), QByteArray("new"));
}

void TestTextFile::saveKeepsHardLinksTogether()
{
    const QString first = pathOf(u"first.txt"_s);
    const QString second = pathOf(u"second.txt"_s);
    writeBytes(first, "old content");
    QCOMPARE(::link(QFile::encodeName(first).constData(), QFile::encodeName(second).constData()),
             0);
    WriteWholeFile(first, {}, "new");
    QCOMPARE(readBytes(first), QByteArray("new"));
    QCOMPARE(readBytes(second), QByteArray("new"));
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

void TestTextFile::saveReadOnlyFile()
{
    if (::geteuid() == 0)
        QSKIP("file modes do not stop the superuser");
    const QString path = pathOf(u"locked.txt"_s);
    writeBytes(path, "keep");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    try {
        WriteWholeFile(path, {}, "text");
        QFAIL("no error raised");
    } catch (const FileCreateError &error) {
        QCOMPARE(error.message(),
                 u"Impossible de créer le fichier \"%1\". %2"_s.arg(path, SystemErrorText(EACCES)));
    }
    QCOMPARE(readBytes(path), QByteArray("keep"));
}

void TestTextFile::saveWhereFolderRefusesNewFiles()
{
    if (::geteuid() == 0)
        QSKIP("file modes do not stop the superuser");
    QVERIFY(QDir(m_dir->path()).mkdir(u"closed"_s));
    const QString path = pathOf(u"closed/out.txt"_s);
    writeBytes(path, QByteArray(100, 'p'));
    const QByteArray folder = QFile::encodeName(pathOf(u"closed"_s));
    QVERIFY(::chmod(folder.constData(), 0555) == 0);
    WriteWholeFile(path, {}, "new");
    QCOMPARE(readBytes(path), QByteArray("new"));
    try {
        WriteWholeFile(pathOf(u"closed/other.txt"_s), {}, "new");
        QFAIL("no error raised");
    } catch (const FileCreateError &error) {
        QVERIFY(error.message().endsWith(SystemErrorText(EACCES)));
    }
    QVERIFY(::chmod(folder.constData(), 0755) == 0);
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

void TestTextFile::systemErrorText_data()
{
    QTest::addColumn<int>("errorNumber");
    for (const int e : {ENOENT, EACCES, EPERM,  EISDIR,  ENOTDIR, ENAMETOOLONG, ELOOP,    EROFS,
                        ENOSPC, EDQUOT, EBUSY,  ETXTBSY, EIO,     EEXIST,       EMFILE,   ENFILE,
                        ENOMEM, EFBIG,  EINVAL, EXDEV,   EAGAIN,  EINTR,        EOVERFLOW})
        QTest::addRow("errno %d", e) << e;
}

void TestTextFile::systemErrorText()
{
    QFETCH(int, errorNumber);

    const QString text = SystemErrorText(errorNumber);
    QVERIFY(!text.isEmpty());
    QCOMPARE(TrimErrorText(text), text);
    QVERIFY2(!text.contains(u"Erreur système"_s), qPrintable(text));
}

void TestTextFile::trimErrorText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");

    QTest::newRow("plain") << u"Accès refusé"_s << u"Accès refusé"_s;
    QTest::newRow("full stop") << u"Accès refusé."_s << u"Accès refusé"_s;
    QTest::newRow("mixed tail") << u"Accès refusé. .\r\n\t "_s << u"Accès refusé"_s;
    QTest::newRow("inner stops kept") << u"n° 1.2 x"_s << u"n° 1.2 x"_s;
    QTest::newRow("only junk") << u" ..\n"_s << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("leading kept") << u" .a"_s << u" .a"_s;
}

void TestTextFile::trimErrorText()
{
    QFETCH(QString, text);
    QFETCH(QString, trimmed);

    QCOMPARE(TrimErrorText(text), trimmed);
}

void TestTextFile::unknownErrorNumber()
{
    QCOMPARE(SystemErrorText(98765), u"Erreur système n° 98765"_s);
}

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_text_file.moc"
