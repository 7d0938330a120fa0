#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

#include "cli/cli_process.h"
#include "support/fixtures.h"

using namespace Qt::StringLiterals;

namespace {

struct Member
{
    QString name;
    QByteArray bytes;
};
using Members = QList<Member>;

// A zip of `members`, deflated, in archive order.
QByteArray Zip(const Members &members)
{
    QByteArray out;
    archive *a = archive_write_new();
    archive_write_set_format_zip(a);
    const auto write = [](archive *, void *data, const void *buffer, size_t size) -> la_ssize_t {
        static_cast<QByteArray *>(data)->append(static_cast<const char *>(buffer),
                                                static_cast<qsizetype>(size));
        return static_cast<la_ssize_t>(size);
    };
    if (archive_write_open(a, &out, nullptr, write, nullptr) != ARCHIVE_OK)
        qFatal("archive_write_open: %s", archive_error_string(a));
    for (const Member &member : members) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, member.name.toUtf8().constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, member.bytes.size());
        if (archive_write_header(a, entry) != ARCHIVE_OK ||
            archive_write_data(a, member.bytes.constData(),
                               static_cast<size_t>(member.bytes.size())) != member.bytes.size())
            qFatal("archive_write: %s", archive_error_string(a));
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    return out;
}

// The text of small member `index`, about `size` bytes: addresses told by member and line,
// with the line ends and the encoding changing from member to member.
QByteArray SmallText(int index, qsizetype size, QStringList *addresses = nullptr)
{
    const QByteArray end = index % 3 == 0 ? "\r\n" : "\n";
    const QByteArray accent = index % 2 == 0 ? "\xc3\xa9" : "\xe9"; // é in UTF-8, in Windows-1252
    QByteArray text;
    for (int line = 1; text.size() < size; ++line) {
        if (line % 4 == 0) {
            text += "sans adresse, caf" + accent + " et suite de mots" + end;
            continue;
        }
        const QString address = u"m%1.l%2@exemple.fr"_s.arg(index).arg(line);
        if (addresses)
            *addresses << address;
        text += "ligne " + QByteArray::number(line) + " d" + accent + "but, " + address.toUtf8() +
                " ; fin de la ligne" + end;
    }
    return text;
}

Members SmallMembers(int first, int count, qsizetype size, QStringList *addresses = nullptr)
{
    Members members;
    for (int k = first; k < first + count; ++k)
        members << Member{u"dossier/m%1.txt"_s.arg(k), SmallText(k, size, addresses)};
    return members;
}

} // namespace

Q_DECLARE_METATYPE(Members)

// The small members of an archive are searched side by side on two threads: what comes out is
// what one thread reading them one after the other gives, byte for byte.
class TestArchiveMembers : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    CliRun run(const QString &jobs, const QStringList &options) const
    {
        return runCli(m_dir.path(), QStringList{u"-q"_s, u"-j"_s, jobs} + options +
                                        QStringList{u"archive.zip"_s});
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Many MiB of small members: their addresses in archive order, each line told.
    void orderOfMembers()
    {
        QStringList expected;
        writeBytes(QDir(m_dir.path()).filePath(u"archive.zip"_s),
                   Zip(SmallMembers(0, 120, 60 * 1024, &expected)));
        const CliRun both = run(u"2"_s, {});
        QCOMPARE(both.err, QByteArray());
        QCOMPARE(both.exitCode, 0);
        QCOMPARE(QString::fromUtf8(both.out).split(u'\n', Qt::SkipEmptyParts), expected);

        const CliRun sourced = run(u"2"_s, {u"--source"_s});
        const QList<QByteArray> lines = sourced.out.split('\n');
        QCOMPARE(lines.value(0), "archive.zip//dossier/m0.txt\t1\tm0.l1@exemple.fr");
        const QByteArray last = "archive.zip//dossier/m119.txt\t";
        QVERIFY2(lines.value(lines.size() - 2).startsWith(last), lines.value(lines.size() - 2));
    }

    void sameAsOneThread_data()
    {
        QTest::addColumn<Members>("members");
        QTest::addColumn<double>("kept"); // the share of the zip kept: below 1, it is truncated
        QTest::addColumn<int>("status");

        QTest::newRow("small members, many MiB of them")
            << SmallMembers(0, 90, 70 * 1024) << 1.0 << 0;

        Members big = SmallMembers(0, 30, 50 * 1024);
        big << Member{u"grand.txt"_s, SmallText(500, 3 * 1024 * 1024)};
        big << SmallMembers(30, 30, 50 * 1024);
        QTest::newRow("a member bigger than a piece between small ones") << big << 1.0 << 0;

        Members formats = SmallMembers(0, 20, 90 * 1024);
        formats << Member{u"lettre.eml"_s, "From: Paul <paul@exemple.fr>\nTo: anne@exemple.fr\n"
                                           "Subject: essai\n\ncorps m@exemple.fr\n"}
                << Member{u"page.html"_s,
                          "<html><body><a href=\"mailto:h@exemple.fr\">x</a> t&#64;exemple.fr"
                          "</body></html>"}
                << Member{u"carnet.vcf"_s,
                          "BEGIN:VCARD\nVERSION:3.0\nFN:Val\nEMAIL:v@exemple.fr\nEND:VCARD\n"}
                << Member{u"donnees.json"_s, R"({"mail": "j\u0040exemple.fr"})"};
        QByteArray utf16 = "\xff\xfe";
        for (QChar c : u"seize@exemple.fr\r\nautre@exemple.fr\r\n"_s)
            utf16 += QByteArray{char(c.unicode() & 0xff), char(c.unicode() >> 8)};
        formats << Member{u"seize.txt"_s, utf16}
                << Member{u"marque.txt"_s, "\xef\xbb\xbfmarque@exemple.fr\n"}
                << Member{u"vide.txt"_s, QByteArray()}
                << Member{u"sans-fin.txt"_s, "derniere@exemple.fr"};
        formats << SmallMembers(20, 20, 90 * 1024);
        QTest::newRow("other formats between small members") << formats << 1.0 << 0;

        Members nested = SmallMembers(0, 25, 80 * 1024);
        nested << Member{u"interne.zip"_s, Zip(SmallMembers(100, 3, 10 * 1024))};
        QFile encrypted(QFINDTESTDATA(u"formats/fixtures/chiffre.zip"_s));
        QVERIFY(encrypted.open(QIODevice::ReadOnly));
        nested << Member{u"chiffre.zip"_s, encrypted.readAll()};
        nested << SmallMembers(25, 25, 80 * 1024);
        QTest::newRow("nested archives and an encrypted member between small ones")
            << nested << 1.0 << 1;

        QTest::newRow("truncated after many MiB of members")
            << SmallMembers(0, 90, 70 * 1024) << 0.8 << 1;
        QTest::newRow("truncated among the first members")
            << SmallMembers(0, 10, 70 * 1024) << 0.5 << 1;
    }

    void sameAsOneThread()
    {
        QFETCH(Members, members);
        QFETCH(double, kept);
        QFETCH(int, status);
        const QByteArray zip = Zip(members);
        writeBytes(QDir(m_dir.path()).filePath(u"archive.zip"_s),
                   zip.first(static_cast<qsizetype>(static_cast<double>(zip.size()) * kept)));
        const QList<QStringList> optionSets = {{},        {u"-u"_s}, {u"--source"_s},
                                               {u"-s"_s}, {u"-c"_s}, {u"-u"_s, u"--source"_s}};
        for (const QStringList &options : optionSets) {
            const CliRun one = run(u"1"_s, options);
            const CliRun both = run(u"2"_s, options);
            const QByteArray shown = options.join(u' ').toUtf8();
            QVERIFY2(one.exitCode == status, shown + " " + one.err);
            QVERIFY2(both.exitCode == status, shown + " " + both.err);
            QVERIFY2(!both.out.isEmpty(), shown);
            QVERIFY2(both.out == one.out, shown);
            QVERIFY2(both.err == one.err, shown + "\n" + both.err + "\n" + one.err);
        }
    }
};

QTEST_GUILESS_MAIN(TestArchiveMembers)
#include "tst_archive_members.moc"
