#include <optional>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "platform/executable_info.h"
#include "settings/window_caption.h"

using namespace Qt::StringLiterals;

namespace {

void useExecutable(const QString &path, std::optional<quint32> version = std::nullopt,
                   const QString &separator = u"/"_s)
{
    ExecutableFacts facts;
    facts.filePath = path;
    facts.versionMajorMinor = version;
    facts.dateSeparator = separator;
    setExecutableFacts(facts);
}

// Creates an executable-like file modified at the given local date and time.
void makeFile(const QString &path, const QDateTime &modified)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("\x7F"
                       "ELF") == 4);
    QVERIFY(file.flush());
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

constexpr quint32 version1_21 = (1u << 16) | 21u;

} // namespace

class TestWindowCaption : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        // Nine hours ahead of UTC: 00:30 on 5 March here is still 4 March in UTC.
        qputenv("TZ", "UTC-9");
        QVERIFY(m_dir.isValid());
    }

    void upperCaseAsciiLetters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("accents untouched") << u"éditeur"_s << u"éDITEUR"_s;
        QTest::newRow("dots kept") << u"mon.outil"_s << u"MON.OUTIL"_s;
        QTest::newRow("others kept") << u"az AZ 09 ß ÿ ı _"_s << u"AZ AZ 09 ß ÿ ı _"_s;
    }

    void upperCaseAsciiLetters()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(UpperCaseAsciiLetters(text), expected);
    }

    void versionText_data()
    {
        QTest::addColumn<std::optional<quint32>>("version");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1.21") << std::optional<quint32>(version1_21) << u"1.21"_s;
        QTest::newRow("no version record") << std::optional<quint32>() << u"65535.65535"_s;
        QTest::newRow("zero") << std::optional<quint32>(0u) << u"0.0"_s;
        QTest::newRow("unsigned halves") << std::optional<quint32>(0xFFFF0001u) << u"65535.1"_s;
        QTest::newRow("no leading zeros") << std::optional<quint32>((10u << 16) | 5u) << u"10.5"_s;
    }

    void versionText()
    {
        QFETCH(std::optional<quint32>, version);
        QFETCH(QString, expected);
        useExecutable(m_dir.filePath(u"outil.exe"_s), version);
        QCOMPARE(VersionText(), expected);
    }

    void executableDateText_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("expected");
        QTest::newRow("slash") << u"dd/mm/yyyy"_s << u"/"_s << u"05/03/2021"_s;
        QTest::newRow("hyphen") << u"dd/mm/yyyy"_s << u"-"_s << u"05-03-2021"_s;
        QTest::newRow("no separator") << u"dd/mm/yyyy"_s << QString() << u"05032021"_s;
        QTest::newRow("full stop") << u"dd/mm/yyyy"_s << u"."_s << u"05.03.2021"_s;
        QTest::newRow("year first") << u"yyyy/mm/dd"_s << u"-"_s << u"2021-03-05"_s;
        QTest::newRow("other characters copied") << u"[dd] d m yy"_s << u"/"_s << u"[05] d m yy"_s;
        QTest::newRow("empty pattern") << QString() << u"/"_s << QString();
    }

    void executableDateText()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, separator);
        QFETCH(QString, expected);
        const QString path = m_dir.filePath(u"outil.exe"_s);
        makeFile(path, QDateTime(QDate(2021, 3, 5), QTime(0, 30)));
        useExecutable(path, version1_21, separator);
        QCOMPARE(ExecutableDateText(pattern), expected);
    }

    void unreadableDate_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing file") << u"absent.exe"_s;
        QTest::newRow("folder") << u"dossier.exe"_s;
        QTest::newRow("dangling link") << u"lien-mort.exe"_s;
        QTest::newRow("under a regular file") << u"fichier.txt/outil.exe"_s;
    }

    void unreadableDate()
    {
        QFETCH(QString, name);
        QDir(m_dir.path()).mkdir(u"dossier.exe"_s);
        QFile::link(m_dir.filePath(u"absent-cible"_s), m_dir.filePath(u"lien-mort.exe"_s));
        makeFile(m_dir.filePath(u"fichier.txt"_s), QDateTime(QDate(2021, 3, 5), QTime(0, 30)));
        useExecutable(m_dir.filePath(name), version1_21);
        QCOMPARE(ExecutableDateText(u"dd/mm/yyyy"_s), QString());
        QVERIFY(BuildCaption({}, u"dd/mm/yyyy"_s).endsWith(u"{:-  | "_s));
    }

    void symbolicLinkGivesTheTargetsDate()
    {
        const QString target = m_dir.filePath(u"cible.exe"_s);
        makeFile(target, QDateTime(QDate(2019, 12, 31), QTime(23, 59)));
        const QString link = m_dir.filePath(u"lien.exe"_s);
        QVERIFY(QFile::link(target, link));
        useExecutable(link, version1_21);
        QCOMPARE(ExecutableDateText(u"dd/mm/yyyy"_s), u"31/12/2019"_s);
    }

    void buildCaption_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<std::optional<quint32>>("version");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const std::optional<quint32> v121(version1_21);
        QTest::newRow("worked example") << u"outil.exe"_s << v121 << u"/"_s << QString()
                                        << u"OUTIL 1.21 | Quorvel ***{:-  | 15/02/2021"_s;
        QTest::newRow("full stop separator") << u"outil.exe"_s << v121 << u"."_s << QString()
                                             << u"OUTIL 1.21 | Quorvel ***{:-  | 15.02.2021"_s;
        QTest::newRow("accented name") << u"éditeur.exe"_s << v121 << u"/"_s << QString()
                                       << u"éDITEUR 1.21 | Quorvel ***{:-  | 15/02/2021"_s;
        QTest::newRow("dotted name") << u"mon.outil.exe"_s << v121 << u"/"_s << QString()
                                     << u"MON.OUTIL 1.21 | Quorvel ***{:-  | 15/02/2021"_s;
        QTest::newRow("no version record")
            << u"extracteur"_s << std::optional<quint32>() << u"/"_s << QString()
            << u"EXTRACTEUR 65535.65535 | Quorvel ***{:-  | 15/02/2021"_s;
        QTest::newRow("text argument") << u"outil.exe"_s << v121 << u"/"_s << u"%1 essai"_s
                                       << u"OUTIL 1.21 | Quorvel ***{:- %1 essai | 15/02/2021"_s;
    }

    void buildCaption()
    {
        QFETCH(QString, fileName);
        QFETCH(std::optional<quint32>, version);
        QFETCH(QString, separator);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QString path = m_dir.filePath(fileName);
        makeFile(path, QDateTime(QDate(2021, 2, 15), QTime(14, 0)));
        useExecutable(path, version, separator);
        QCOMPARE(BuildCaption(text, u"dd/mm/yyyy"_s), expected);
    }
};

QTEST_GUILESS_MAIN(TestWindowCaption)
#include "tst_window_caption.moc"
