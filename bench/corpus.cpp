#include "corpus.h"

#include <algorithm>
#include <array>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

namespace {

class Random
{
public:
    explicit Random(quint32 seed) : m_state(seed ? seed : 1) {}
    quint32 next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    template <typename T, std::size_t N> const T &pick(const std::array<T, N> &items)
    {
        return items[next() % N];
    }

private:
    quint32 m_state;
};

// Windows-1252 bytes: \xE9 is é, \xE8 è, \xE7 ç, \xEF ï, \xC9 É, \xF1 ñ, \x80 €.
constexpr std::array<const char *, 16> firstNames = {
    "Jean",    "Marie",  "Pierre",  "\xC9lise", "Fran\xE7ois", "Chlo\xE9", "Luc",     "Ana\xEFs",
    "Ren\xE9", "Sophie", "Nicolas", "In\xE8s",  "Paul",        "Camille",  "Jos\xE9", "Zo\xE9"};
constexpr std::array<const char *, 12> lastNames = {"Dupont",
                                                    "Martin",
                                                    "Lef\xE8vre",
                                                    "Moreau",
                                                    "Nu\xF1"
                                                    "ez",
                                                    "Bernard",
                                                    "Garnier",
                                                    "Roux",
                                                    "Fontaine",
                                                    "Chevalier",
                                                    "Mercier",
                                                    "Blanc"};
constexpr std::array<const char *, 8> domains = {"exemple.fr",     "societe.com",  "labo.org",
                                                 "mairie-lyon.fr", "courriel.net", "univ-paris.fr",
                                                 "entreprise.eu",  "asso.org"};
constexpr std::array<const char *, 10> prose = {
    "Merci pour votre r\xE9ponse, nous reviendrons vers vous tr\xE8s bient\xF4t.",
    "La r\xE9union est d\xE9plac\xE9"
    "e \xE0 jeudi, m\xEAme salle, m\xEAme heure.",
    "Veuillez trouver ci-joint le devis de 1250 \x80 pour la prestation.",
    "Bonjour \xE0 tous,",
    "Cordialement,",
    "Le compte rendu sera diffus\xE9 apr\xE8s validation par le bureau.",
    "",
    "N'h\xE9sitez pas \xE0 transf\xE9rer ce message \xE0 vos coll\xE8gues int\xE9ress\xE9s.",
    "-- ",
    "Ordre du jour : budget, calendrier, questions diverses."};

QByteArray lower(const char *text)
{
    QByteArray out(text);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Every index gives its own text: the name, the domain and a number that together spell it out.
void appendNumberedAddress(QByteArray &out, quint32 index)
{
    out += lower(firstNames[index % firstNames.size()]);
    index /= firstNames.size();
    out += '.';
    out += lower(lastNames[index % lastNames.size()]);
    index /= lastNames.size();
    const char *domain = domains[index % domains.size()];
    index /= domains.size();
    out += QByteArray::number(index);
    out += '@';
    out += domain;
}

class AddressSource
{
public:
    AddressSource(Random &r, CorpusKind kind) : m_random(r), m_kind(kind) {}

    void append(QByteArray &out)
    {
        if (m_kind == CorpusKind::Repeated) {
            appendRepeated(out);
            return;
        }
        // Half new texts, half a repeat of one given before.
        if (m_given == 0 || m_random.next() % 2 == 0)
            appendNumberedAddress(out, m_given++);
        else
            appendNumberedAddress(out, m_random.next() % m_given);
    }

private:
    void appendRepeated(QByteArray &out);

    Random &m_random;
    CorpusKind m_kind;
    quint32 m_given = 0;
};

void AddressSource::appendRepeated(QByteArray &out)
{
    Random &r = m_random;
    out += lower(r.pick(firstNames));
    out += '.';
    out += lower(r.pick(lastNames));
    if (r.next() % 3 == 0)
        out += QByteArray::number(r.next() % 100);
    out += '@';
    out += r.pick(domains);
}

} // namespace

namespace {

// One line of a contact export: a quoted "Name, First name" and its fields, separated by
// semicolons, or an address alone in angle brackets followed by a comma.
void appendContactLine(QByteArray &out, Random &r, AddressSource &addresses)
{
    switch (r.next() % 4) {
    case 0:
        out += '<';
        addresses.append(out);
        out += ">,";
        break;
    case 1: // "Nom Prénom" <adresse>;
        out += '"';
        out += r.pick(lastNames);
        out += ' ';
        out += r.pick(firstNames);
        out += "\" <";
        addresses.append(out);
        out += ">;";
        break;
    default: // "Nom, Prénom";adresse;99 rue Nom;75010
        out += '"';
        out += r.pick(lastNames);
        out += ", ";
        out += r.pick(firstNames);
        out += "\";";
        addresses.append(out);
        out += ';';
        out += QByteArray::number(1 + r.next() % 120);
        out += " rue ";
        out += r.pick(lastNames);
        out += ";750";
        out += QByteArray::number(10 + r.next() % 10);
        break;
    }
}

} // namespace

namespace {

// Windows-1252 bytes: \xEB ë, \xC9 É, \xE9 é, \xE8 è, \xEA ê, \xEF ï, \xEE î, \xF4 ô, \xE7 ç,
// \xFC ü, \xE2 â.
constexpr std::array<const char *, 32> exportFirstNames = {"No\xEBl",
                                                           "\xC9lodie",
                                                           "Marc",
                                                           "H\xE9l\xE8ne",
                                                           "J\xE9r\xF4me",
                                                           "C\xE9"
                                                           "cile",
                                                           "Beno\xEEt",
                                                           "Ga\xEBlle",
                                                           "Lo\xEF"
                                                           "c",
                                                           "Sol\xE8ne",
                                                           "Fran\xE7ois",
                                                           "Chlo\xE9",
                                                           "Ana\xEFs",
                                                           "Ren\xE9",
                                                           "Th\xE9o",
                                                           "In\xE8s",
                                                           "Zo\xE9",
                                                           "Am\xE9lie",
                                                           "Jean",
                                                           "Marie",
                                                           "Pierre",
                                                           "Sophie",
                                                           "Nicolas",
                                                           "Camille",
                                                           "Fr\xE9"
                                                           "d\xE9ric",
                                                           "St\xE9phane",
                                                           "Ma\xEBlys",
                                                           "Rapha\xEBl",
                                                           "Agn\xE8s",
                                                           "Val\xE9rie",
                                                           "Andr\xE9",
                                                           "Genevi\xE8ve"};
constexpr std::array<const char *, 32> exportLastNames = {"Richard",
                                                          "Dupont",
                                                          "Moreau",
                                                          "Lef\xE8vre",
                                                          "Gauthier",
                                                          "B\xE9renger",
                                                          "M\xFCller",
                                                          "Lema\xEEtre",
                                                          "Fontaine",
                                                          "Chevalier",
                                                          "Mercier",
                                                          "Blanc",
                                                          "Garnier",
                                                          "Roux",
                                                          "Bernard",
                                                          "Martin",
                                                          "Petit",
                                                          "Durand",
                                                          "Leroy",
                                                          "Girard",
                                                          "Andr\xE9",
                                                          "Fran\xE7ois",
                                                          "Barb\xE9",
                                                          "Besnard",
                                                          "H\xE9"
                                                          "bert",
                                                          "No\xEBl",
                                                          "Lacroix",
                                                          "Br\xE2"
                                                          "ne",
                                                          "C\xF4t\xE9",
                                                          "Desch\xEAnes",
                                                          "Vall\xE9"
                                                          "e",
                                                          "Beno\xEEt"};
constexpr std::array<const char *, 6> exportDomains = {
    "mail.com", "exemple.fr", "orange.fr", "laposte.net", "free.fr", "societe-lyon.fr"};

QByteArray lowerExport(const char *text)
{
    QByteArray out(text);
    for (char &c : out) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
            c = static_cast<char>(u + 0x20);
    }
    return out;
}

// The address numbered `index`: every number gives its own text.
void appendExportAddress(QByteArray &out, quint32 index)
{
    out += lowerExport(exportFirstNames[index % exportFirstNames.size()]);
    index /= exportFirstNames.size();
    out += '.';
    out += lowerExport(exportLastNames[index % exportLastNames.size()]);
    index /= exportLastNames.size();
    const char *domain = exportDomains[index % exportDomains.size()];
    index /= exportDomains.size();
    out += QByteArray::number(index);
    out += '@';
    out += domain;
}

// The addresses of one line, numbered from the line's first one on.
class LineAddresses
{
public:
    explicit LineAddresses(quint32 first) : m_next(first) {}
    void append(QByteArray &out) { appendExportAddress(out, m_next++); }
    quint32 used(quint32 first) const { return m_next - first; }

private:
    quint32 m_next;
};

void appendName(QByteArray &out, Random &r, const char *between)
{
    out += r.pick(exportLastNames);
    out += between;
    out += r.pick(exportFirstNames);
}

void appendStreet(QByteArray &out, Random &r)
{
    out += QByteArray::number(1 + r.next() % 120);
    out += " rue ";
    out += r.pick(exportLastNames);
    out += ";750";
    out += QByteArray::number(10 + r.next() % 10);
}

void appendExportLine(QByteArray &out, Random &r, LineAddresses &addresses)
{
    switch (r.next() % 20) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4: // "Nom, Prénom";adresse;99 rue Nom;75010
        out += '"';
        appendName(out, r, ", ");
        out += "\";";
        addresses.append(out);
        out += ';';
        appendStreet(out, r);
        break;
    case 5:
    case 6:
    case 7: // <adresse>,
        out += '<';
        addresses.append(out);
        out += ">,";
        break;
    case 8:
    case 9: // "Nom Prénom" <adresse>;
        out += '"';
        appendName(out, r, " ");
        out += "\" <";
        addresses.append(out);
        out += ">;";
        break;
    case 10:
    case 11:
    case 12: // "Nom, Prénom <adresse>";99 rue Nom;75010
        out += '"';
        appendName(out, r, ", ");
        out += " <";
        addresses.append(out);
        out += ">\";";
        appendStreet(out, r);
        break;
    case 13:
    case 14: // "Nom, Prénom";"adresse";"99 rue Nom";"75010"
        out += '"';
        appendName(out, r, ", ");
        out += "\";\"";
        addresses.append(out);
        out += "\";\"";
        out += QByteArray::number(1 + r.next() % 120);
        out += " rue ";
        out += r.pick(exportLastNames);
        out += "\";\"750";
        out += QByteArray::number(10 + r.next() % 10);
        out += '"';
        break;
    default: // <adresse>, <adresse>, ...: two or three of them
        for (quint32 k = 0, count = r.next() % 8 == 0 ? 3 : 2; k < count; ++k) {
            out += '<';
            addresses.append(out);
            out += ">, ";
        }
        break;
    }
}

// The lines of the export: 45 % of them new contacts, the others a contact given before, line
// for line, as an export of several address books repeats its people.
class ExportLines
{
public:
    explicit ExportLines(Random &r) : m_random(r) {}

    void append(QByteArray &out)
    {
        std::size_t line = m_firstAddress.size();
        if (line == 0 || m_random.next() % 1000 < 455)
            m_firstAddress.push_back(m_given);
        else
            line = m_random.next() % m_firstAddress.size();
        // Each line's own generator, so that a repeat writes it again byte for byte.
        Random shape(static_cast<quint32>(line) * 2654435761u + 12345u);
        LineAddresses addresses(m_firstAddress[line]);
        appendExportLine(out, shape, addresses);
        if (line + 1 == m_firstAddress.size())
            m_given =
                std::max(m_given, m_firstAddress[line] + addresses.used(m_firstAddress[line]));
    }

private:
    Random &m_random;
    std::vector<quint32> m_firstAddress;
    quint32 m_given = 0;
};

} // namespace

QByteArray makeMailingListCorpus(int lines, quint32 seed, CorpusKind kind)
{
    if (kind == CorpusKind::ContactExport) {
        Random r(seed);
        ExportLines exportLines(r);
        QByteArray out;
        out.reserve(static_cast<qsizetype>(lines) * 75);
        for (int i = 0; i < lines; ++i) {
            exportLines.append(out);
            out += "\r\n";
        }
        return out;
    }
    Random r(seed);
    AddressSource addresses(r, kind);
    if (kind == CorpusKind::QuotedNames) {
        QByteArray out;
        out.reserve(static_cast<qsizetype>(lines) * 70);
        for (int i = 0; i < lines; ++i) {
            appendContactLine(out, r, addresses);
            out += "\r\n";
        }
        return out;
    }
    const auto appendAddress = [&addresses](QByteArray &out, Random &) { addresses.append(out); };
    QByteArray out;
    out.reserve(static_cast<qsizetype>(lines) * 70);
    for (int i = 0; i < lines; ++i) {
        switch (r.next() % 10) {
        case 0:
        case 1: // From: "Nom, Prénom" <adresse>
            out += "From: \"";
            out += r.pick(lastNames);
            out += ", ";
            out += r.pick(firstNames);
            out += "\" <";
            appendAddress(out, r);
            out += '>';
            break;
        case 2: // To: a, b
            out += "To: ";
            appendAddress(out, r);
            out += ", ";
            appendAddress(out, r);
            break;
        case 3: // Cc: Prénom Nom <a>; b
            out += "Cc: ";
            out += r.pick(firstNames);
            out += ' ';
            out += r.pick(lastNames);
            out += " <";
            appendAddress(out, r);
            out += ">; ";
            appendAddress(out, r);
            break;
        case 5:
            if (kind == CorpusKind::HalfDistinct) {
                // Reply-To: a[, b]
                out += "Reply-To: ";
                appendAddress(out, r);
                if (r.next() % 2 == 0) {
                    out += ", ";
                    appendAddress(out, r);
                }
                break;
            }
            [[fallthrough]];
        case 4:
            out += r.pick(prose);
            break;
        case 6: // > Le 12/03/2021, Prénom a écrit :
            out += "> Le ";
            out += QByteArray::number(1 + r.next() % 28);
            out += "/0";
            out += QByteArray::number(1 + r.next() % 9);
            out += "/2021, ";
            out += r.pick(firstNames);
            out += " a \xE9"
                   "crit :";
            break;
        case 7: // contact line with parentheses
            out += "Contact : ";
            appendAddress(out, r);
            out += " (secr\xE9tariat), t\xE9l. 01 23 45 67 89";
            break;
        default: // a reply line quoting an address
            out += "> ";
            out += r.pick(firstNames);
            out += ' ';
            out += r.pick(lastNames);
            out += " <";
            appendAddress(out, r);
            out += "> ; ";
            appendAddress(out, r);
            break;
        }
        out += "\r\n";
    }
    return out;
}

QString corpusFile(int lines, CorpusKind kind)
{
    const QString path = QDir::temp().filePath(
        QStringLiteral("extracteur-corpus-%1%2.txt")
            .arg(lines)
            .arg(kind == CorpusKind::HalfDistinct    ? QStringLiteral("-distinct")
                 : kind == CorpusKind::QuotedNames   ? QStringLiteral("-quoted")
                 : kind == CorpusKind::ContactExport ? QStringLiteral("-export")
                                                     : QString()));
    if (!QFileInfo::exists(path)) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(makeMailingListCorpus(lines, 20261209, kind));
    }
    return path;
}

double peakMemoryMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}
