#include "corpus.h"

#include <array>

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

QByteArray makeMailingListCorpus(int lines, quint32 seed, CorpusKind kind)
{
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
            .arg(kind == CorpusKind::HalfDistinct  ? QStringLiteral("-distinct")
                 : kind == CorpusKind::QuotedNames ? QStringLiteral("-quoted")
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
