#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "errors/app_error.h"
#include "formats/format_decoders.h"

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    std::string text;
    std::int64_t line;
    bool linesFollow;
};

class CollectingReceiver : public TextReceiver
{
public:
    void text(std::string_view utf8, std::int64_t line, bool linesFollow) override
    {
        if (!QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())).isValidUtf8())
            invalidRuns.push_back(std::string(utf8));
        runs.push_back({std::string(utf8), line, linesFollow});
    }
    void member(const QString &) override {}
    void warning(const QString &message) override { warnings << message; }

    // The line the first occurrence of `needle` is told at, or -1.
    std::int64_t lineOf(const QByteArray &needle) const
    {
        for (const Run &run : runs) {
            const std::size_t at = run.text.find(needle.toStdString());
            if (at == std::string::npos)
                continue;
            if (!run.linesFollow)
                return run.line;
            return run.line + std::count(run.text.begin(), run.text.begin() + at, '\n');
        }
        return -1;
    }

    std::vector<Run> runs;
    std::vector<std::string> invalidRuns;
    QStringList warnings;
};

// Hands the bytes on `step` at a time, and fails once `failAt` bytes are read.
class MemorySource : public ByteSource
{
public:
    MemorySource(QByteArray bytes, std::size_t step, std::size_t failAt = SIZE_MAX)
        : m_bytes(std::move(bytes)), m_step(step), m_failAt(failAt)
    {}

    std::size_t read(char *buffer, std::size_t size) override
    {
        if (m_position >= m_failAt)
            throw FileOpenError(u"Impossible de lire « entrée »"_s);
        const std::size_t left = static_cast<std::size_t>(m_bytes.size()) - m_position;
        const std::size_t n = std::min({size, m_step, left, m_failAt - m_position});
        std::memcpy(buffer, m_bytes.constData() + m_position, n);
        m_position += n;
        return n;
    }

private:
    QByteArray m_bytes;
    std::size_t m_step;
    std::size_t m_failAt;
    std::size_t m_position = 0;
};

QByteArray fixture(const QString &name)
{
    QFile file(QFINDTESTDATA(u"formats/data/"_s + name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture");
    return file.readAll();
}

void decode(const QByteArray &bytes, InputFormat format, std::size_t step,
            CollectingReceiver &receiver, InputEncoding encoding = InputEncoding::Auto)
{
    MemorySource memory(bytes, step);
    PeekableSource source(memory);
    DecodeSettings settings;
    settings.encoding = encoding;
    DecodeFormat(format, source, u"entrée", settings, receiver);
}

} // namespace

Q_DECLARE_METATYPE(InputFormat)
Q_DECLARE_METATYPE(InputEncoding)

class TestFormatDecoders : public QObject
{
    Q_OBJECT

private slots:
    void detectsFormat_data();
    void detectsFormat();
    void decodesFixture_data();
    void decodesFixture();
    void leavesOut_data();
    void leavesOut();
    void hidesValues_data();
    void hidesValues();
    void decodesEdges_data();
    void decodesEdges();
    void readsEncodings_data();
    void readsEncodings();
    void keepsLongTextWhole_data();
    void keepsLongTextWhole();
    void readFaultHandsOnTextBefore();
};

void TestFormatDecoders::detectsFormat_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QString>("name");
    QTest::addColumn<InputFormat>("format");

    QTest::newRow("message") << QByteArray("From: a@b.fr\r\nTo: c@d.fr\r\nSubject: x\r\n\r\nbody")
                             << u"a.txt"_s << InputFormat::Mail;
    QTest::newRow("mbox") << QByteArray("From a@b.fr Mon Jun  3 10:00:00 2024\nFrom: a@b.fr\n"
                                        "Subject: x\n\nbody\n")
                          << u"boite"_s << InputFormat::Mail;
    QByteArray longHeaders("Received: from x\n\tby y\nFrom: a@b.fr\n");
    while (longHeaders.size() < 65536)
        longHeaders += "X-Trace: " + QByteArray(90, 'x') + "\n";
    QTest::newRow("message cut by the head")
        << longHeaders.first(65536) << u""_s << InputFormat::Mail;
    QTest::newRow("one header, named as a message")
        << QByteArray("From: a@b.fr\n\nbody") << u"lettre.eml"_s << InputFormat::Mail;
    QTest::newRow("one header, named as text")
        << QByteArray("From: a@b.fr\n\nbody") << u"lettre.txt"_s << InputFormat::Text;
    QTest::newRow("headers only mail does not use")
        << QByteArray("Name: value\nOther: thing\n\n") << u""_s << InputFormat::Text;
    QTest::newRow("a sentence starting with From")
        << QByteArray("From here on, write to a@b.fr\nthanks\n") << u""_s << InputFormat::Text;
    QTest::newRow("doctype after mark and blanks")
        << QByteArray("\xEF\xBB\xBF \n\t<!DOCTYPE html><html>") << u""_s << InputFormat::Markup;
    QTest::newRow("xml") << QByteArray("<?xml version=\"1.0\"?><racine/>") << u""_s
                         << InputFormat::Markup;
    QTest::newRow("tag") << QByteArray("<p>bonjour</p>") << u"page.txt"_s << InputFormat::Markup;
    QTest::newRow("html in UTF-16")
        << QByteArray("\xFF\xFE<\0h\0t\0m\0l\0>\0", 14) << u""_s << InputFormat::Markup;
    QTest::newRow("addresses in angle brackets")
        << QByteArray("<jean@exemple.fr>\n<marie@exemple.fr>\n") << u""_s << InputFormat::Text;
    QTest::newRow("vcard") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\n") << u""_s
                           << InputFormat::Contacts;
    QTest::newRow("calendar in lower case")
        << QByteArray("begin:vcalendar\n") << u""_s << InputFormat::Contacts;
    QTest::newRow("ldif with version")
        << QByteArray("version: 1\n\ndn: cn=a\nmail: a@b.fr\n") << u""_s << InputFormat::Contacts;
    QTest::newRow("ldif after a comment")
        << QByteArray("# export\ndn: cn=a\nmail: a@b.fr\n") << u""_s << InputFormat::Contacts;
    QTest::newRow("json object") << QByteArray(" {\"a\": 1}") << u""_s << InputFormat::Json;
    QTest::newRow("json array of objects")
        << QByteArray("[{\"a\":1}]") << u""_s << InputFormat::Json;
    QTest::newRow("json array of numbers") << QByteArray("[1, 2]") << u""_s << InputFormat::Json;
    QTest::newRow("log line in brackets")
        << QByteArray("[2024-01-02 10:00:00] INFO a@b.fr\n") << u"app.log"_s << InputFormat::Text;
    QTest::newRow("csv") << QByteArray("nom;adresse\nMartin;m@b.fr\n") << u"l.csv"_s
                         << InputFormat::Text;
    QTest::newRow("sql dump") << QByteArray("-- MySQL dump\nINSERT INTO t VALUES ('a@b.fr');\n")
                              << u"d.sql"_s << InputFormat::Text;
    QTest::newRow("empty") << QByteArray() << u"x.json"_s << InputFormat::Text;
}

void TestFormatDecoders::detectsFormat()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, name);
    QFETCH(InputFormat, format);
    QCOMPARE(DetectFormat(head, name), format);
}

void TestFormatDecoders::decodesFixture_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<InputFormat>("format");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<qint64>("line");

    const auto row = [](const char *tag, const QString &file, InputFormat format,
                        const char *needle, qint64 line) {
        QTest::newRow(tag) << file << format << QByteArray(needle) << line;
    };
    const QString eml = u"encoded_message.eml"_s;
    row("mail: folded received", eml, InputFormat::Mail, "for <destinataire@exemple.fr>", 2);
    row("mail: encoded word", eml, InputFormat::Mail, "Élodie Moreau", 4);
    row("mail: Latin-1 encoded word", eml, InputFormat::Mail, "\"André\" <andre@exemple.fr>", 5);
    row("mail: folded address header", eml, InputFormat::Mail, "claire@exemple.fr", 5);
    row("mail: base64 word", eml, InputFormat::Mail, "Subject: Réunion", 7);
    row("mail: soft break inside an address", eml, InputFormat::Mail, "françois.dupont@exemple.fr",
        20);
    row("mail: =40", eml, InputFormat::Mail, "support@exemple.fr", 20);
    row("mail: html part", eml, InputFormat::Mail, "mailto:web@exemple.fr?subject=Bonjour", 26);
    row("mail: base64 attachment", eml, InputFormat::Mail, "Petit;petit@exemple.fr", 32);
    row("mail: attached message header", eml, InputFormat::Mail, "From: interne@exemple.fr", 41);
    row("mail: attached message body", eml, InputFormat::Mail, "réponse à joint@exemple.fr", 45);

    const QString mbox = u"boite.mbox"_s;
    row("mbox: first message", mbox, InputFormat::Mail, "To: bob@exemple.fr", 3);
    row("mbox: first body", mbox, InputFormat::Mail, "écris à carole@exemple.fr", 7);
    row("mbox: escaped From", mbox, InputFormat::Mail, ">From the start", 8);
    row("mbox: second message", mbox, InputFormat::Mail, "To: alice@exemple.fr", 12);
    row("mbox: base64 body", mbox, InputFormat::Mail, "Réponse : david@exemple.fr", 11);
    row("mbox: third message", mbox, InputFormat::Mail, "From: carole@exemple.fr", 21);
    row("mbox: last line", mbox, InputFormat::Mail, "voir eve@exemple.fr", 25);

    const QString html = u"page.html"_s;
    row("html: declared charset", html, InputFormat::Markup, "Écrivez à jean@exemple.fr", 5);
    row("html: hexadecimal reference and HTML5 name", html, InputFormat::Markup, "marie@exemple.fr",
        5);
    row("html: entities", html, InputFormat::Markup, "ventes@exemple.fr & autres", 6);
    row("html: mailto", html, InputFormat::Markup,
        "mailto:contact@exemple.fr?subject=Question urgente", 7);
    row("html: data attribute", html, InputFormat::Markup, "donnees@exemple.fr", 8);

    const QString vcf = u"contacts.vcf"_s;
    row("vcard: fold inside an address", vcf, InputFormat::Contacts,
        "EMAIL;TYPE=WORK:paul.durand@exemple.fr", 4);
    row("vcard: escapes", vcf, InputFormat::Contacts, "paul, ou p.durand@exemple.fr", 6);
    row("vcard: quoted-printable soft break", vcf, InputFormat::Contacts, "sophie@exemple.fr", 11);
    row("vcard: line after", vcf, InputFormat::Contacts, "END:VCARD", 7);

    const QString ldif = u"annuaire.ldif"_s;
    row("ldif: plain value", ldif, InputFormat::Contacts, "mail: luc.bernard@exemple.fr", 5);
    row("ldif: base64 value", ldif, InputFormat::Contacts, "Écrire à luc@exemple.fr", 6);
    row("ldif: fold", ldif, InputFormat::Contacts, "tres.long.nom@exemple.fr", 7);

    const QString json = u"donnees.json"_s;
    row("json: \\u0040", json, InputFormat::Json, "anne@exemple.fr", 3);
    row("json: accent escape", json, InputFormat::Json, "léa@exemple.fr", 4);
    row("json: surrogate pair", json, InputFormat::Json, "\xF0\x9F\x98\x80 bob@exemple.fr", 5);
    row("json: escaped slash", json, InputFormat::Json, "https://exemple.fr/contact", 6);
    row("json: strings of an array", json, InputFormat::Json, "y@exemple.fr", 7);
}

void TestFormatDecoders::decodesFixture()
{
    QFETCH(QString, file);
    QFETCH(InputFormat, format);
    QFETCH(QByteArray, needle);
    QFETCH(qint64, line);

    const QByteArray bytes = fixture(file);
    QCOMPARE(DetectFormat(bytes, file), format);
    // Read whole, and a byte at a time so that every cut between reads is met.
    for (const std::size_t step : {std::size_t(1), std::size_t(1) << 20}) {
        CollectingReceiver receiver;
        decode(bytes, format, step, receiver);
        QVERIFY(receiver.invalidRuns.empty());
        QCOMPARE(receiver.lineOf(needle), line);
    }
}

void TestFormatDecoders::leavesOut_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("needle");

    const QString eml = u"encoded_message.eml"_s;
    QTest::newRow("Message-ID") << eml << QByteArray("20240603.abc@serveur.exemple.fr");
    QTest::newRow("In-Reply-To") << eml << QByteArray("precedent@serveur.exemple.fr");
    QTest::newRow("folded References") << eml << QByteArray("deux@serveur.exemple.fr");
    QTest::newRow("Return-Path") << eml << QByteArray("retour@exemple.fr");
    QTest::newRow("Received id") << eml << QByteArray("4AbC12@mail.exemple.fr");
    QTest::newRow("attached message's Message-ID") << eml << QByteArray("cache@exemple.fr");
    QTest::newRow("image part") << eml << QByteArray("binaire@image.fr");
    QTest::newRow("raw quoted-printable") << eml << QByteArray("=40");
    QTest::newRow("mbox Message-ID") << u"boite.mbox"_s << QByteArray("m2@exemple.fr");
    QTest::newRow("html raw reference") << u"page.html"_s << QByteArray("&#64;");
    QTest::newRow("ldif photo") << u"annuaire.ldif"_s << QByteArray("/9j/");
    QTest::newRow("json escape") << u"donnees.json"_s << QByteArray("\\u0040");
}

void TestFormatDecoders::leavesOut()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, needle);

    const QByteArray bytes = fixture(file);
    CollectingReceiver receiver;
    decode(bytes, DetectFormat(bytes, file), 4096, receiver);
    QVERIFY(!receiver.runs.empty());
    QCOMPARE(receiver.lineOf(needle), -1);
}

// Values that look like addresses and that nobody writes to are not handed on.
void TestFormatDecoders::hidesValues_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("needle");

    const QByteArray body = "From: a@exemple.fr\nTo: b@exemple.fr\n\ncorps\n";
    QTest::newRow("mail: Return-Path") << "Return-Path: <rebond-x1@envoi.exemple.fr>\n" + body
                                       << QByteArray("rebond-x1@envoi.exemple.fr");
    QTest::newRow("mail: Errors-To") << "Errors-To: erreurs-x2@envoi.exemple.fr\n" + body
                                     << QByteArray("erreurs-x2@envoi.exemple.fr");
    QTest::newRow("mail: List-Unsubscribe")
        << "List-Unsubscribe: <mailto:desabo-4567@envoi.exemple.fr?subject=x>\n" + body
        << QByteArray("desabo-4567@envoi.exemple.fr");
    QTest::newRow("vCard UID in a group")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nitem1.UID:3F25-11D3@apple.com\nEND:VCARD\n")
        << QByteArray("3F25-11D3@apple.com");
    QTest::newRow("calendar event UID")
        << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:7kuk\r\n qrf@google.com\r\n"
                      "END:VEVENT\r\n")
        << QByteArray("qrf@google.com");
}

void TestFormatDecoders::hidesValues()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, needle);

    CollectingReceiver receiver;
    decode(bytes, DetectFormat(bytes, u""), 4096, receiver);
    QVERIFY(!receiver.runs.empty());
    QCOMPARE(receiver.lineOf(needle), -1);
}

void TestFormatDecoders::decodesEdges_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<InputFormat>("format");
    QTest::addColumn<QByteArray>("needle");
    QTest::addColumn<qint64>("line");

    QTest::newRow("mail: blank lines before the headers")
        << QByteArray("\n\nFrom: a@exemple.fr\nTo: b@exemple.fr\n\ncorps c@exemple.fr\n")
        << InputFormat::Mail << QByteArray("To: b@exemple.fr") << qint64(4);
    QTest::newRow("mail: part without headers")
        << QByteArray("From: a@exemple.fr\nContent-Type: multipart/mixed; boundary=x\n\n--x\n\n"
                      "sans en-tete d@exemple.fr\n--x--\n")
        << InputFormat::Mail << QByteArray("sans en-tete d@exemple.fr") << qint64(6);
    QTest::newRow("mail: part left open by its multipart")
        << QByteArray("From: a@exemple.fr\nContent-Type: multipart/mixed; boundary=x\n\n--x\n"
                      "Content-Type: multipart/alternative; boundary=y\n\n--y\n\ninterne\n--x\n"
                      "\napres e@exemple.fr\n--x--\n")
        << InputFormat::Mail << QByteArray("apres e@exemple.fr") << qint64(12);
    QTest::newRow("mail: boundary that another one starts with")
        << QByteArray("From: a@exemple.fr\nContent-Type: multipart/mixed; boundary=x\n\n--x\n"
                      "\n--xy f@exemple.fr\n--x--\n")
        << InputFormat::Mail << QByteArray("--xy f@exemple.fr") << qint64(6);
    QTest::newRow("mail: html body as it stands")
        << QByteArray(
               "From: a@exemple.fr\nContent-Type: text/html\n\n<p>\n\ng&#64;exemple.fr</p>\n")
        << InputFormat::Mail << QByteArray("g@exemple.fr") << qint64(6);
    QTest::newRow("mail: text attachment labelled as bytes")
        << QByteArray("From: a@exemple.fr\nContent-Type: multipart/mixed; boundary=x\n\n--x\n"
                      "Content-Type: application/octet-stream; name=\"liste.csv\"\n"
                      "Content-Transfer-Encoding: base64\n\n" +
                      QByteArray("nom;q@exemple.fr\n").toBase64() + "\n--x--\n")
        << InputFormat::Mail << QByteArray("nom;q@exemple.fr") << qint64(5);
    QTest::newRow("html: comment and tag over several lines")
        << QByteArray(
               "<html><!-- un\ndeux --><a\nhref=\"mailto:h@exemple.fr\"\n>\ni@exemple.fr</a>")
        << InputFormat::Markup << QByteArray("i@exemple.fr") << qint64(5);
    QTest::newRow("html: attribute on its own line")
        << QByteArray(
               "<html><!-- un\ndeux --><a\nhref=\"mailto:h@exemple.fr\"\n>\ni@exemple.fr</a>")
        << InputFormat::Markup << QByteArray("mailto:h@exemple.fr") << qint64(3);
    QTest::newRow("html: address cut by an inline element")
        << QByteArray("<p>j<b>@</b>exemple.fr</p>") << InputFormat::Markup
        << QByteArray("j@exemple.fr") << qint64(1);
    QTest::newRow("html: structured data in a script")
        << QByteArray("<html><script type=\"application/ld+json\">\n{\"email\": \"k@exemple.fr\"}"
                      "</script></html>")
        << InputFormat::Markup << QByteArray("k@exemple.fr") << qint64(2);
    QTest::newRow("xml: CDATA") << QByteArray(
                                       "<?xml version=\"1.0\"?>\n<r><![CDATA[l@exemple.fr]]></r>")
                                << InputFormat::Markup << QByteArray("l@exemple.fr") << qint64(2);
    QTest::newRow("html: reference to a line break")
        << QByteArray("<p>m&#10;n@exemple.fr</p>\n<p>o@exemple.fr</p>") << InputFormat::Markup
        << QByteArray("o@exemple.fr") << qint64(2);
    QTest::newRow("html: address between angle brackets")
        << QByteArray("<p>Jean\n<jean@exemple.fr></p>") << InputFormat::Markup
        << QByteArray("<jean@exemple.fr>") << qint64(2);
    QTest::newRow("html: unknown name kept")
        << QByteArray("<p>a &nosuch; b</p>") << InputFormat::Markup << QByteArray("&nosuch;")
        << qint64(1);
    QTest::newRow("mail: delivery report, the recipient it is about")
        << QByteArray("From: MAILER-DAEMON@exemple.fr\nContent-Type: multipart/report; "
                      "report-type=delivery-status; boundary=x\n\n--x\n"
                      "Content-Type: message/delivery-status\n\nReporting-MTA: dns; mx.exemple.fr\n"
                      "\nFinal-Recipient: rfc822; r@exemple.fr\nAction: failed\n--x--\n")
        << InputFormat::Mail << QByteArray("Final-Recipient: rfc822; r@exemple.fr") << qint64(9);
    QTest::newRow("calendar: folded attendee")
        << QByteArray(
               "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nATTENDEE;CN=P:mailto:p@exem\r\n\tple.fr\r\n"
               "END:VEVENT\r\n")
        << InputFormat::Contacts << QByteArray("mailto:p@exemple.fr") << qint64(3);
}

void TestFormatDecoders::decodesEdges()
{
    QFETCH(QByteArray, bytes);
    QFETCH(InputFormat, format);
    QFETCH(QByteArray, needle);
    QFETCH(qint64, line);

    QCOMPARE(DetectFormat(bytes, u""), format);
    for (const std::size_t step : {std::size_t(1), std::size_t(1) << 20}) {
        CollectingReceiver receiver;
        decode(bytes, format, step, receiver);
        QVERIFY(receiver.invalidRuns.empty());
        QCOMPARE(receiver.lineOf(needle), line);
    }
}

void TestFormatDecoders::readsEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<InputEncoding>("encoding");
    QTest::addColumn<QByteArray>("needle");

    const QString json = u"{\"nom\": \"\\u00c9lise\", \"courriel\": \"élise@exemple.fr\"}\n"_s;
    QByteArray utf16("\xFF\xFE", 2);
    for (const QChar c : json) {
        utf16 += static_cast<char>(c.unicode() & 0xFF);
        utf16 += static_cast<char>(c.unicode() >> 8);
    }
    QTest::newRow("UTF-16 with its mark")
        << utf16 << InputEncoding::Auto << QByteArray("élise@exemple.fr");
    QTest::newRow("UTF-8 without a mark")
        << json.toUtf8() << InputEncoding::Auto << QByteArray("élise@exemple.fr");
    QTest::newRow("Windows-1252 where UTF-8 is not valid")
        << QByteArray("{\"a\": \"\xE9lise@exemple.fr\"}") << InputEncoding::Auto
        << QByteArray("élise@exemple.fr");
    QTest::newRow("Windows-1252 asked for")
        << QByteArray("{\"a\": \"\xC3\xA9lise@exemple.fr\"}") << InputEncoding::Cp1252
        << QByteArray("Ã©lise@exemple.fr");
    QTest::newRow("page without a declared charset")
        << QByteArray("<p>\xE9lise@exemple.fr</p>") << InputEncoding::Auto
        << QByteArray("élise@exemple.fr");
    QTest::newRow("message part in its own charset")
        << QByteArray("From: a@exemple.fr\nTo: b@exemple.fr\nContent-Type: text/plain; "
                      "charset=koi8-r\n\n\xF0\xD2\xC9\xD7\xC5\xD4 c@exemple.fr\n")
        << InputEncoding::Auto << QByteArray("Привет c@exemple.fr");
    QTest::newRow("raw 8-bit header")
        << QByteArray("From: \xC9lise <e@exemple.fr>\nTo: b@exemple.fr\n\nx\n")
        << InputEncoding::Auto << QByteArray("Élise <e@exemple.fr>");
}

void TestFormatDecoders::readsEncodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(InputEncoding, encoding);
    QFETCH(QByteArray, needle);

    CollectingReceiver receiver;
    decode(bytes, DetectFormat(bytes.first(std::min<qsizetype>(bytes.size(), 65536)), u""), 3,
           receiver, encoding);
    QVERIFY(receiver.invalidRuns.empty());
    QVERIFY2(receiver.lineOf(needle) > 0, needle.constData());
}

void TestFormatDecoders::keepsLongTextWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("ats");

    const int count = 20000;
    QByteArray list;
    for (int i = 0; i < count; ++i)
        list += "personne" + QByteArray::number(i) + "@exemple.fr; ";
    QByteArray lines = list;
    lines.replace("; ", ";\n");

    QTest::newRow("base64 part")
        << "From: a@b.fr\nTo: c@d.fr\nContent-Transfer-Encoding: base64\n\n" + lines.toBase64() +
               "\n"
        << count << count + 2;
    QByteArray qp;
    for (qsizetype i = 0; i < list.size(); i += 70)
        qp += list.mid(i, 70) + "=\n";
    QTest::newRow("one quoted-printable line")
        << "From: a@b.fr\nTo: c@d.fr\nContent-Transfer-Encoding: quoted-printable\n\n" + qp << count
        << count + 2;
    QTest::newRow("one JSON string") << "[\"" + list + "\"]" << count << count;
    QTest::newRow("one line of HTML")
        << "<html><body><p>" + list + "</p></body></html>" << count << count;
}

void TestFormatDecoders::keepsLongTextWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);
    QFETCH(int, ats);

    CollectingReceiver receiver;
    decode(bytes, DetectFormat(bytes.first(std::min<qsizetype>(bytes.size(), 65536)), u""), 100000,
           receiver);
    QVERIFY(receiver.runs.size() > 1);
    static const QRegularExpression address(u"(?<![\\w.])personne(\\d+)@exemple\\.fr(?!\\w)"_s);
    QSet<int> seen;
    qsizetype seenAts = 0;
    for (const Run &run : receiver.runs) {
        const QString text = QString::fromStdString(run.text);
        seenAts += text.count(u'@');
        for (const QRegularExpressionMatch &m : address.globalMatch(text))
            seen.insert(m.captured(1).toInt());
    }
    QCOMPARE(seen.size(), count);
    QCOMPARE(seenAts, ats);
}

void TestFormatDecoders::readFaultHandsOnTextBefore()
{
    const QByteArray bytes = fixture(u"boite.mbox"_s);
    MemorySource memory(bytes, 16, static_cast<std::size_t>(bytes.indexOf("From bob")));
    PeekableSource source(memory);
    CollectingReceiver receiver;
    QVERIFY_THROWS_EXCEPTION(FileOpenError,
                             DecodeFormat(InputFormat::Mail, source, u"boite.mbox", {}, receiver));
    QCOMPARE(receiver.lineOf("carole@exemple.fr"), 7);
}

QTEST_GUILESS_MAIN(TestFormatDecoders)
#include "tst_format_decoders.moc"
