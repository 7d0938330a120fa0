#include <cerrno>
#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "platform/process_signals.h"
#include "platform/safe_write.h"
#include "platform/write_lock.h"
#include "support/write_fixtures.h"
#include "support/fixtures.h"

#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <sys/mount.h>
#include <sched.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(WriteFailure)

namespace {

struct stat statusOf(const QString &path)
{
    struct stat status = {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

// The id of a process that has just ended, so that no live process bears it.
pid_t endedProcessId()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// Every extended attribute of a file, by name.
QMap<QByteArray, QByteArray> attributesOf(const QString &path)
{
    QMap<QByteArray, QByteArray> attributes;
    const QByteArray native = QFile::encodeName(path);
    QByteArray names(65536, '\0');
    const ssize_t size = ::llistxattr(native.constData(), names.data(), size_t(names.size()));
    if (size <= 0)
        return attributes;
    names.truncate(size);
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        QByteArray value(65536, '\0');
        const ssize_t length =
            ::lgetxattr(native.constData(), name.constData(), value.data(), size_t(value.size()));
        value.truncate(std::max<ssize_t>(length, 0));
        attributes.insert(name, value);
    }
    return attributes;
}

// Runs a shell command in `folder`; false when it fails (a tool missing, or a file system
// without ACLs or extended attributes).
bool runIn(const QString &folder, const QString &command)
{
    QProcess shell;
    shell.setWorkingDirectory(folder);
    shell.start(u"sh"_s, {u"-c"_s, command});
    return shell.waitForFinished(10000) && shell.exitStatus() == QProcess::NormalExit &&
           shell.exitCode() == 0;
}

} // namespace

class TestSafeWrite : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void replaceKeepsModeAndOwner();
    void attributesCarried_data();
    void attributesCarried();
    void attributesThatCannotBeCarried_data();
    void attributesThatCannotBeCarried();
    void newFileGetsOrdinaryPermissions();
    void hardLinkedFileReplacedWhole();
    void linkChains_data();
    void linkChains();
    void specialFilesRefused_data();
    void specialFilesRefused();
    void readOnlyRefusedForEveryone();
    void inPlaceOnlyWhereFolderRefusesNewFiles();
    void inPlaceReservesRoomFirst();
    void fullFileSystem_data();
    void fullFileSystem();
    void strayNames_data();
    void strayNames();
    void writeLockReleasedByTheKernel();
    void brokenPipeAndSizeLimitAreWriteErrors();

private:
    QString pathOf(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSafeWrite::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSafeWrite::cleanup()
{
    m_dir.reset();
}

void TestSafeWrite::replaceKeepsModeAndOwner()
{
    const QString path = pathOf(u"out.txt"_s);
    writeBytes(path, "old");
    const QByteArray native = QFile::encodeName(path);
    QVERIFY(::chmod(native.constData(), 0604) == 0);
    // The superuser can hand the file to someone else, and the new file must follow.
    const bool foreignOwner = ::geteuid() == 0 && ::chown(native.constData(), 65534, 65534) == 0;
    const struct stat before = statusOf(path);

    const WriteOutcome outcome = WriteFileSafely(path, {"new ", "content"});
    QVERIFY(outcome.succeeded());
    QCOMPARE(outcome.mode, WriteMode::ReplaceAtomically);
    QCOMPARE(readBytes(path), QByteArray("new content"));
    const struct stat after = statusOf(path);
    QVERIFY(after.st_ino != before.st_ino);
    QCOMPARE(after.st_mode & 07777, 0604u);
    if (foreignOwner) {
        QCOMPARE(after.st_uid, 65534u);
        QCOMPARE(after.st_gid, 65534u);
    }
    QCOMPARE(namesIn(m_dir->path()), QStringList{u"out.txt"_s});
}

// Each command runs in the folder that holds out.txt; "skip" says what it needs.
void TestSafeWrite::attributesCarried_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("expectedGroupBits");

    QTest::newRow("user attribute") << u"setfattr -n user.origin -v carnet out.txt"_s << 040;
    QTest::newRow("empty user attribute") << u"setfattr -n user.empty out.txt"_s << 040;
    // One user may write, the group only read: the group bits are the ACL mask, rw.
    QTest::newRow("access ACL") << u"setfacl -m u:65534:rw,g::r out.txt"_s << 060;
    QTest::newRow("ACL mask narrower than its entries")
        << u"setfacl -m u:65534:rw,g::rw,m::r out.txt"_s << 040;
    QTest::newRow("ACL and user attributes together")
        << u"setfacl -m g:65534:rw out.txt && setfattr -n user.a -v 1 out.txt && "
           "setfattr -n user.b -v 0x00ff out.txt"_s
        << 060;
    // A new file inherits the folder's default ACL; the old one had none and neither may the
    // replacement, or it would grant what the old file did not.
    QTest::newRow("no ACL in a folder with a default one")
        << u"setfacl -d -m u:65534:rwx . && setfacl -b out.txt"_s << 040;
    QTest::newRow("trusted attribute")
        << u"[ \"$(id -u)\" = 0 ] && setfattr -n trusted.mark -v 7 out.txt"_s << 040;
}

void TestSafeWrite::attributesCarried()
{
    QFETCH(QString, command);
    QFETCH(int, expectedGroupBits);

    const QString path = pathOf(u"out.txt"_s);
    writeBytes(path, "old");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    if (!runIn(m_dir->path(), command))
        QSKIP("this file system or user cannot hold these attributes");
    const QMap<QByteArray, QByteArray> before = attributesOf(path);
    const struct stat statusBefore = statusOf(path);
    QCOMPARE(int(statusBefore.st_mode & 070), expectedGroupBits);

    const WriteOutcome outcome = WriteFileSafely(path, {"new"});
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.reason));
    QCOMPARE(readBytes(path), QByteArray("new"));
    const struct stat after = statusOf(path);
    QVERIFY(after.st_ino != statusBefore.st_ino);
    QCOMPARE(attributesOf(path), before);
    QCOMPARE(after.st_mode & 07777, statusBefore.st_mode & 07777);
}

// The old file lies in a lower layer that holds attributes; the replacement is made in an upper
// layer that holds none, as in a container. The save fails and the old file stays.
void TestSafeWrite::attributesThatCannotBeCarried_data()
{
    QTest::addColumn<QString>("command");

    QTest::newRow("user attribute") << u"setfattr -n user.origin -v carnet lower/out.txt"_s;
    QTest::newRow("access ACL") << u"setfacl -m u:65534:rw lower/out.txt"_s;
}

void TestSafeWrite::attributesThatCannotBeCarried()
{
    QFETCH(QString, command);

    QVERIFY(QDir(m_dir->path()).mkpath(u"lower"_s));
    QVERIFY(QDir(m_dir->path()).mkpath(u"upper"_s));
    QVERIFY(QDir(m_dir->path()).mkpath(u"merged"_s));
    writeBytes(pathOf(u"lower/out.txt"_s), "old");
    if (!runIn(m_dir->path(), command))
        QSKIP("this file system cannot hold these attributes");
    const QByteArray lower = QFile::encodeName(pathOf(u"lower"_s));
    const QByteArray upper = QFile::encodeName(pathOf(u"upper"_s));
    const QByteArray merged = QFile::encodeName(pathOf(u"merged"_s));

    enum : int { Carried = 0, Refused = 1, NoMount = 77 };
    const pid_t child = ::fork();
    if (child == 0) {
        // The mounts live in this child's own namespace and go with it.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", upper.constData(), "ramfs", 0, nullptr) != 0 ||
            ::mkdir(upper + "/u", 0755) != 0 || ::mkdir(upper + "/w", 0755) != 0)
            ::_exit(NoMount);
        const QByteArray options =
            "lowerdir=" + lower + ",upperdir=" + upper + "/u,workdir=" + upper + "/w";
        if (::mount("overlay", merged.constData(), "overlay", 0, options.constData()) != 0)
            ::_exit(NoMount);
        const QString target = QFile::decodeName(merged + "/out.txt");
        const WriteOutcome outcome = WriteFileSafely(target, {"new"});
        const bool refused = outcome.failure == WriteFailure::Create &&
                             outcome.errorNumber == EOPNOTSUPP && readBytes(target) == "old" &&
                             namesIn(QFile::decodeName(merged)) == QStringList{u"out.txt"_s};
        ::_exit(outcome.succeeded() ? Carried : refused ? Refused : 2);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    if (WEXITSTATUS(status) == NoMount)
        QSKIP("no overlay mount here");
    QCOMPARE(WEXITSTATUS(status), int(Refused));
    QCOMPARE(readBytes(pathOf(u"lower/out.txt"_s)), QByteArray("old"));
}

// Not those of the private temporary it was written as.
void TestSafeWrite::newFileGetsOrdinaryPermissions()
{
    const mode_t mask = ::umask(022);
    const WriteOutcome outcome = WriteFileSafely(pathOf(u"fresh.txt"_s), {"x"});
    ::umask(mask);
    QVERIFY(outcome.succeeded());
    QCOMPARE(statusOf(pathOf(u"fresh.txt"_s)).st_mode & 07777, 0644u);
}

// The saved name gets the new file, complete at every instant; the other names keep the old
// content rather than risk a file cut short by a crash halfway through an in-place rewrite.
void TestSafeWrite::hardLinkedFileReplacedWhole()
{
    const QString first = pathOf(u"first.txt"_s);
    const QString second = pathOf(u"second.txt"_s);
    writeBytes(first, "old content");
    QCOMPARE(::link(QFile::encodeName(first).constData(), QFile::encodeName(second).constData()),
             0);
    QVERIFY(WriteFileSafely(first, {"new"}).succeeded());
    QCOMPARE(readBytes(first), QByteArray("new"));
    QCOMPARE(readBytes(second), QByteArray("old content"));
}

void TestSafeWrite::linkChains_data()
{
    QTest::addColumn<QStringList>("links");    // "name>points to", made in this order
    QTest::addColumn<QString>("written");      // the name saved to
    QTest::addColumn<QString>("expectedFile"); // where the content must land, empty: refused
    QTest::addColumn<int>("errorNumber");

    QTest::newRow("one link to a file")
        << QStringList{u"a>real.txt"_s} << u"a"_s << u"real.txt"_s << 0;
    QTest::newRow("two links to a file")
        << QStringList{u"b>real.txt"_s, u"a>b"_s} << u"a"_s << u"real.txt"_s << 0;
    QTest::newRow("dangling link")
        << QStringList{u"a>missing.txt"_s} << u"a"_s << u"missing.txt"_s << 0;
    QTest::newRow("two links, dangling")
        << QStringList{u"b>missing.txt"_s, u"a>b"_s} << u"a"_s << u"missing.txt"_s << 0;
    QTest::newRow("through another folder")
        << QStringList{u"sub/b>../missing.txt"_s, u"a>sub/b"_s} << u"a"_s << u"missing.txt"_s << 0;
    QTest::newRow("loop") << QStringList{u"a>b"_s, u"b>a"_s} << u"a"_s << QString() << ELOOP;
    QTest::newRow("dangling into a missing folder")
        << QStringList{u"a>nowhere/missing.txt"_s} << u"a"_s << QString() << ENOENT;
}

// The links stay links; the file at the end of the whole chain is written or created.
void TestSafeWrite::linkChains()
{
    QFETCH(QStringList, links);
    QFETCH(QString, written);
    QFETCH(QString, expectedFile);
    QFETCH(int, errorNumber);

    QVERIFY(QDir(m_dir->path()).mkdir(u"sub"_s));
    writeBytes(pathOf(u"real.txt"_s), "old");
    for (const QString &link : links) {
        const QStringList parts = link.split(u'>');
        QCOMPARE(::symlink(QFile::encodeName(parts[1]).constData(),
                           QFile::encodeName(pathOf(parts[0])).constData()),
                 0);
    }

    const WriteOutcome outcome = WriteFileSafely(pathOf(written), {"new"});
    if (expectedFile.isEmpty()) {
        QCOMPARE(outcome.failure, WriteFailure::Create);
        QCOMPARE(outcome.errorNumber, errorNumber);
        QCOMPARE(readBytes(pathOf(u"real.txt"_s)), QByteArray("old"));
    } else {
        QVERIFY(outcome.succeeded());
        QCOMPARE(readBytes(pathOf(expectedFile)), QByteArray("new"));
        QVERIFY(!QFileInfo(pathOf(expectedFile)).isSymLink());
    }
    for (const QString &link : links)
        QVERIFY(QFileInfo(pathOf(link.section(u'>', 0, 0))).isSymLink());
}

void TestSafeWrite::specialFilesRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("pipe without reader")
        << u"fifo"_s << u"Le chemin désigne un tube nommé, pas un fichier ordinaire"_s;
    QTest::newRow("link to a pipe")
        << u"link to fifo"_s << u"Le chemin désigne un tube nommé, pas un fichier ordinaire"_s;
    QTest::newRow("socket") << u"socket"_s
                            << u"Le chemin désigne un socket, pas un fichier ordinaire"_s;
    QTest::newRow("link to a device")
        << u"device"_s << u"Le chemin désigne un périphérique, pas un fichier ordinaire"_s;
}

// Refused before anything is opened: a pipe nobody reads would block for ever.
void TestSafeWrite::specialFilesRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    const QString path = pathOf(u"target"_s);
    const QByteArray native = QFile::encodeName(path);
    int socketFd = -1;
    if (kind == u"fifo"_s) {
        QCOMPARE(::mkfifo(native.constData(), 0644), 0);
    } else if (kind == u"link to fifo"_s) {
        QCOMPARE(::mkfifo(QFile::encodeName(pathOf(u"pipe"_s)).constData(), 0644), 0);
        QCOMPARE(::symlink("pipe", native.constData()), 0);
    } else if (kind == u"socket"_s) {
        socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(native.size()) < sizeof(address.sun_path));
        qstrcpy(address.sun_path, native.constData());
        QCOMPARE(::bind(socketFd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    } else {
        QCOMPARE(::symlink("/dev/null", native.constData()), 0);
    }
    const mode_t typeBefore = statusOf(path).st_mode & S_IFMT;

    const WriteOutcome outcome = WriteFileSafely(path, {"new"});
    if (socketFd >= 0)
        ::close(socketFd);
    QCOMPARE(outcome.failure, WriteFailure::Create);
    QCOMPARE(outcome.reason, reason);
    QCOMPARE(statusOf(path).st_mode & S_IFMT, typeBefore);
    QVERIFY(namesIn(m_dir->path()).filter(u".tmp-"_s).isEmpty());
}

void TestSafeWrite::readOnlyRefusedForEveryone()
{
    const QString path = pathOf(u"locked.txt"_s);
    writeBytes(path, "keep");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    const WriteOutcome outcome = WriteFileSafely(path, {"new"});
    QCOMPARE(outcome.failure, WriteFailure::Create);
    QCOMPARE(outcome.errorNumber, EACCES);
    QCOMPARE(readBytes(path), QByteArray("keep"));
}

void TestSafeWrite::inPlaceOnlyWhereFolderRefusesNewFiles()
{
    QVERIFY(QDir(m_dir->path()).mkdir(u"closed"_s));
    const QString path = pathOf(u"closed/out.txt"_s);
    writeBytes(path, QByteArray(100, 'p'));
    const ClosedFolder closed(pathOf(u"closed"_s));
    if (!closed.isClosed())
        QSKIP("this file system cannot close a folder to new files");

    for (const QByteArray &content : {QByteArray("shorter"), QByteArray(300, 'l')}) {
        const WriteOutcome outcome = WriteFileSafely(path, {content.left(3), content.mid(3)});
        QVERIFY(outcome.succeeded());
        QCOMPARE(outcome.mode, WriteMode::WriteInPlace);
        QCOMPARE(readBytes(path), content);
    }
    const WriteOutcome created = WriteFileSafely(pathOf(u"closed/other.txt"_s), {"new"});
    QCOMPARE(created.failure, WriteFailure::Create);
    QVERIFY(created.errorNumber == EACCES || created.errorNumber == EPERM);
    QCOMPARE(namesIn(pathOf(u"closed"_s)), QStringList{u"out.txt"_s});
}

// Written in place, a longer content that does not fit must fail before the old bytes go.
void TestSafeWrite::inPlaceReservesRoomFirst()
{
    QVERIFY(QDir(m_dir->path()).mkdir(u"closed"_s));
    const QString path = pathOf(u"closed/out.txt"_s);
    const QByteArray previous(3000, 'p');
    writeBytes(path, previous);
    const ClosedFolder closed(pathOf(u"closed"_s));
    if (!closed.isClosed())
        QSKIP("this file system cannot close a folder to new files");

    WriteOutcome outcome;
    {
        const FileSizeLimit limit(8192);
        QVERIFY(limit.isActive());
        outcome = WriteFileSafely(path, {QByteArray(64 * 1024, 'n')});
    }
    QCOMPARE(outcome.failure, WriteFailure::Write);
    QCOMPARE(outcome.mode, WriteMode::WriteInPlace);
    QCOMPARE(readBytes(path), previous);
}

void TestSafeWrite::fullFileSystem_data()
{
    QTest::addColumn<bool>("noFileSlots");
    QTest::addColumn<WriteFailure>("failure");

    QTest::newRow("no room for the bytes") << false << WriteFailure::Write;
    QTest::newRow("no slot for a new file") << true << WriteFailure::Create;
}

// A full disk must never cost the previous file, whatever step runs out of room.
void TestSafeWrite::fullFileSystem()
{
    QFETCH(bool, noFileSlots);
    QFETCH(WriteFailure, failure);

    const QString root = pathOf(u"small"_s);
    QVERIFY(QDir().mkdir(root));
    const SmallFileSystem small(root, "size=256k,nr_inodes=64,mode=0755");
    if (!small.isMounted())
        QSKIP("no right to mount a file system here");
    const QString path = root + u"/ADRESSES.TXT"_s;
    const QByteArray previous(100 * 1024, 'p');
    writeBytes(path, previous);

    // Fill what is left: file slots, or bytes.
    for (int i = 0;; ++i) {
        QFile filler(root + u"/filler%1"_s.arg(i));
        if (!filler.open(QIODevice::WriteOnly))
            break;
        if (!noFileSlots) {
            const QByteArray block(4096, 'f');
            while (filler.write(block) == block.size() && filler.flush()) {
            }
            break;
        }
    }

    const WriteOutcome outcome = WriteFileSafely(path, {QByteArray(120 * 1024, 'n')});
    QCOMPARE(outcome.failure, failure);
    QCOMPARE(outcome.errorNumber, ENOSPC);
    QCOMPARE(readBytes(path), previous);
    QVERIFY(namesIn(root).filter(u".tmp-"_s).isEmpty());
}

namespace {

enum class StrayKind { File, LockedFile, Link, Folder };

} // namespace

Q_DECLARE_METATYPE(StrayKind)

// Names beside the target: "%dead" stands for the id of a process that has ended, "%alive" for
// this one's.
void TestSafeWrite::strayNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<StrayKind>("kind");
    QTest::addColumn<bool>("removed");

    QTest::newRow("left by a dead save") << u".out.txt.tmp-%dead-k1"_s << StrayKind::File << true;
    QTest::newRow("longest random part")
        << u".out.txt.tmp-%dead-3w5e11264sgsf"_s << StrayKind::File << true;
    QTest::newRow("locked by a save in progress")
        << u".out.txt.tmp-%dead-b2"_s << StrayKind::LockedFile << false;
    QTest::newRow("made by a live process, not yet locked")
        << u".out.txt.tmp-%alive-c5"_s << StrayKind::File << false;
    QTest::newRow("another target's") << u".other.txt.tmp-%dead-o3"_s << StrayKind::File << false;
    QTest::newRow("a link") << u".out.txt.tmp-%dead-l4"_s << StrayKind::Link << false;
    QTest::newRow("a folder") << u".out.txt.tmp-%dead-d6"_s << StrayKind::Folder << false;
    QTest::newRow("no process id") << u".out.txt.tmp-notanumber"_s << StrayKind::File << false;
    QTest::newRow("words") << u".out.txt.tmp-garbage"_s << StrayKind::File << false;
    QTest::newRow("no random part") << u".out.txt.tmp-%dead"_s << StrayKind::File << false;
    QTest::newRow("empty random part") << u".out.txt.tmp-%dead-"_s << StrayKind::File << false;
    QTest::newRow("empty process id") << u".out.txt.tmp--k1"_s << StrayKind::File << false;
    QTest::newRow("leading zero") << u".out.txt.tmp-0%dead-k1"_s << StrayKind::File << false;
    QTest::newRow("signed process id") << u".out.txt.tmp-+%dead-k1"_s << StrayKind::File << false;
    QTest::newRow("upper-case random part")
        << u".out.txt.tmp-%dead-K1"_s << StrayKind::File << false;
    QTest::newRow("random part too long")
        << u".out.txt.tmp-%dead-3w5e11264sgsfa"_s << StrayKind::File << false;
    QTest::newRow("a suffix") << u".out.txt.tmp-%dead-k1.bak"_s << StrayKind::File << false;
    QTest::newRow("a third part") << u".out.txt.tmp-%dead-k1-2"_s << StrayKind::File << false;
    QTest::newRow("process id beyond any")
        << u".out.txt.tmp-99999999999999999999-k1"_s << StrayKind::File << false;
}

void TestSafeWrite::strayNames()
{
    QFETCH(QString, name);
    QFETCH(StrayKind, kind);
    QFETCH(bool, removed);

    const QString path = pathOf(u"out.txt"_s);
    writeBytes(path, "old");
    name.replace(u"%dead"_s, QString::number(endedProcessId()));
    name.replace(u"%alive"_s, QString::number(::getpid()));
    const QString stray = pathOf(name);
    QFile held(stray);
    switch (kind) {
    case StrayKind::File:
        writeBytes(stray, QByteArray(1000, 't'));
        break;
    case StrayKind::LockedFile:
        // A save in progress holds its temporary locked.
        writeBytes(stray, QByteArray(1000, 't'));
        QVERIFY(held.open(QIODevice::ReadOnly));
        QCOMPARE(::flock(held.handle(), LOCK_EX), 0);
        break;
    case StrayKind::Link:
        QCOMPARE(::symlink("out.txt", QFile::encodeName(stray).constData()), 0);
        break;
    case StrayKind::Folder:
        QVERIFY(QDir(m_dir->path()).mkdir(name));
        break;
    }

    QVERIFY(WriteFileSafely(path, {"new"}).succeeded());
    QCOMPARE(readBytes(path), QByteArray("new"));
    QStringList expected{u"out.txt"_s};
    if (!removed)
        expected << name;
    expected.sort();
    QStringList found = namesIn(m_dir->path());
    found.sort();
    QCOMPARE(found, expected);
}

void TestSafeWrite::writeLockReleasedByTheKernel()
{
    const QString path = pathOf(u"outil.INI"_s);
    const QString lockName = path + u".lock"_s;

    // Left by a process killed while it held the lock: nobody holds it any more.
    writeBytes(lockName, "12345\nextracteur\nhost\n");
    {
        const WriteLock first(path, 0);
        QVERIFY(first.isHeld());
        // A live holder is waited for, and then given up on.
        const WriteLock second(path, 50);
        QVERIFY(!second.isHeld());
    }
    QVERIFY(!QFile::exists(lockName));
    const WriteLock third(path, 0);
    QVERIFY(third.isHeld());
}

// Without the start-up call these signals end the process with the list in memory.
void TestSafeWrite::brokenPipeAndSizeLimitAreWriteErrors()
{
    const QString path = pathOf(u"out.txt"_s);
    writeBytes(path, "old");
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGXFSZ, SIG_DFL);
        IgnoreWriteSignals();
        int ends[2];
        if (::pipe(ends) != 0)
            ::_exit(10);
        ::close(ends[0]);
        if (::write(ends[1], "x", 1) != -1 || errno != EPIPE)
            ::_exit(11);
        rlimit limit = {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 16;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(12);
        const WriteOutcome outcome = WriteFileSafely(path, {QByteArray(4096, 'n')});
        ::_exit(outcome.failure == WriteFailure::Write && outcome.errorNumber == EFBIG ? 0 : 13);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "the child was killed by a signal");
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(readBytes(path), QByteArray("old"));
    QCOMPARE(namesIn(m_dir->path()), QStringList{u"out.txt"_s});
}

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safe_write.moc"
