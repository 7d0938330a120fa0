#include <cerrno>
#include <memory>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "platform/descriptor_io.h"
#include "platform/file_descriptor.h"
#include "support/fixtures.h"

#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestDescriptorIo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void openRegularFile_data();
    void openRegularFile();
    void writeAllThenReadAt();
    void readWholeFileStopsAtTheLimit();

private:
    QString pathOf(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDescriptorIo::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    writeBytes(pathOf(u"plain.txt"_s), "12345");
    QVERIFY(QDir(m_dir->path()).mkdir(u"folder"_s));
    QCOMPARE(::mkfifo(QFile::encodeName(pathOf(u"pipe"_s)).constData(), 0644), 0);
}

void TestDescriptorIo::cleanup()
{
    m_dir.reset();
}

void TestDescriptorIo::openRegularFile_data()
{
    QTest::addColumn<QString>("name"); // in the test's folder, or a whole path when it starts "/"
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<bool>("notRegular");
    QTest::addColumn<qsizetype>("size");

    QTest::newRow("regular file") << u"plain.txt"_s << 0 << false << qsizetype(5);
    QTest::newRow("missing") << u"missing.txt"_s << ENOENT << false << qsizetype(0);
    QTest::newRow("under a regular file") << u"plain.txt/x"_s << ENOTDIR << false << qsizetype(0);
    QTest::newRow("folder") << u"folder"_s << EISDIR << false << qsizetype(0);
    // A pipe nobody writes would block a reader for ever.
    QTest::newRow("named pipe") << u"pipe"_s << 0 << true << qsizetype(0);
    QTest::newRow("device") << u"/dev/null"_s << 0 << true << qsizetype(0);
    QTest::newRow("empty path") << QString() << ENOENT << false << qsizetype(0);
    // The system would read the path only up to the U+0000, and open plain.txt.
    QTest::newRow("U+0000 in the path") << u"plain.txt\0.bak"_s << EINVAL << false << qsizetype(0);
}

void TestDescriptorIo::openRegularFile()
{
    QFETCH(QString, name);
    QFETCH(int, errorNumber);
    QFETCH(bool, notRegular);
    QFETCH(qsizetype, size);

    const QString path = name.isEmpty() || name.startsWith(u'/') ? name : pathOf(name);
    FileDescriptor file;
    const RegularFileOpening opening = OpenRegularFile(path, file);
    QCOMPARE(opening.errorNumber, errorNumber);
    QCOMPARE(opening.notRegular, notRegular);
    QCOMPARE(opening.succeeded(), errorNumber == 0 && !notRegular);
    QCOMPARE(file.isOpen(), opening.succeeded());
    if (opening.succeeded())
        QCOMPARE(opening.size, size);
}

void TestDescriptorIo::writeAllThenReadAt()
{
    const QString path = pathOf(u"out.bin"_s);
    FileDescriptor out(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644));
    QVERIFY(out.isOpen());
    QVERIFY(WriteAll(out.get(), "abcdef"));
    off_t offset = 2;
    QVERIFY(WriteAll(out.get(), "XY", &offset));
    QCOMPARE(offset, off_t(4));
    QVERIFY(out.close());

    FileDescriptor in;
    QVERIFY(OpenRegularFile(path, in).succeeded());
    char buffer[16] = {};
    QCOMPARE(ReadAt(in.get(), buffer, 3, 1), qsizetype(3));
    QCOMPARE(QByteArray(buffer, 3), QByteArray("bXY"));
    // Past the end, the count says how much there was.
    QCOMPARE(ReadAt(in.get(), buffer, 16, 4), qsizetype(2));
    QCOMPARE(QByteArray(buffer, 2), QByteArray("ef"));
    QCOMPARE(ReadAt(in.get(), buffer, 16, 100), qsizetype(0));
    QCOMPARE(ReadAt(-1, buffer, 1, 0), qsizetype(-1));
    QCOMPARE(errno, EBADF);
}

void TestDescriptorIo::readWholeFileStopsAtTheLimit()
{
    FileDescriptor in;
    QVERIFY(OpenRegularFile(pathOf(u"plain.txt"_s), in).succeeded());
    QByteArray bytes;
    // A hint below the real size: the file is read to its end all the same.
    QVERIFY(ReadWholeFileAt(in.get(), 1, 1000, bytes));
    QCOMPARE(bytes, QByteArray("12345"));
    QVERIFY(!ReadWholeFileAt(in.get(), 5, 5, bytes));
    QCOMPARE(errno, EFBIG);
    QVERIFY(ReadWholeFileAt(in.get(), 5, 6, bytes));
    QCOMPARE(bytes, QByteArray("12345"));
}

QTEST_GUILESS_MAIN(TestDescriptorIo)
#include "tst_descriptor_io.moc"
