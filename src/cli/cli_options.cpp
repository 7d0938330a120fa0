#include "cli/cli_options.h"

#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int maxJobs = 1024;

QString quoted(const QString &text)
{
    return u"« "_s + text + u" »"_s;
}

struct OptionSpec
{
    QChar shortName; // null when the option has none
    QString longName;
    bool takesValue;
    std::function<void(CliOptions &, const QString &name, const QString &value)> apply;
};

int parseJobs(const QString &name, const QString &value)
{
    bool ok = false;
    const int jobs = value.toInt(&ok);
    if (!ok || jobs < 1 || jobs > maxJobs)
        throw UsageError(u"valeur incorrecte %1 pour l'option %2 : un nombre entier de 1 à %3 est "
                         u"attendu"_s.arg(quoted(value), quoted(name))
                             .arg(maxJobs));
    return jobs;
}

TextEncoding parseEncoding(const QString &name, const QString &value)
{
    const QString key = value.toLower();
    if (key == u"cp1252")
        return TextEncoding::SystemCodePage;
    if (key == u"utf8")
        return TextEncoding::Utf8;
    if (key == u"utf16le")
        return TextEncoding::Utf16LE;
    if (key == u"utf16be")
        return TextEncoding::Utf16BE;
    throw UsageError(u"valeur incorrecte %1 pour l'option %2 : cp1252, utf8, utf16le ou utf16be "
                     u"est attendu"_s.arg(quoted(value), quoted(name)));
}

InputEncoding parseInputEncoding(const QString &name, const QString &value)
{
    const QString key = value.toLower();
    if (key == u"auto")
        return InputEncoding::Auto;
    if (key == u"cp1252")
        return InputEncoding::Cp1252;
    if (key == u"utf8")
        return InputEncoding::Utf8;
    if (key == u"utf16le")
        return InputEncoding::Utf16LE;
    if (key == u"utf16be")
        return InputEncoding::Utf16BE;
    throw UsageError(u"valeur incorrecte %1 pour l'option %2 : auto, cp1252, utf8, utf16le ou "
                     u"utf16be est attendu"_s.arg(quoted(value), quoted(name)));
}

bool parseFormat(const QString &name, const QString &value)
{
    const QString key = value.toLower();
    if (key == u"text")
        return true;
    if (key == u"auto")
        return false;
    throw UsageError(u"valeur incorrecte %1 pour l'option %2 : auto ou text est attendu"_s.arg(
        quoted(value), quoted(name)));
}

// A size such as 500M or 10G (powers of 1024; a final "o", "B", "io" or "iB" is allowed).
std::uint64_t parseSize(const QString &name, const QString &value)
{
    QString digits = value.trimmed();
    for (const QString &unit : {u"io"_s, u"ib"_s, u"o"_s, u"b"_s}) {
        if (digits.size() > unit.size() && digits.endsWith(unit, Qt::CaseInsensitive)) {
            digits.chop(unit.size());
            break;
        }
    }
    int shift = 0;
    if (!digits.isEmpty()) {
        static const QString units = u"KMGT"_s;
        const qsizetype unit = units.indexOf(digits.back().toUpper());
        if (unit >= 0) {
            shift = 10 * static_cast<int>(unit + 1);
            digits.chop(1);
        }
    }
    bool ok = !digits.isEmpty() && digits.front().isDigit();
    const qulonglong number = ok ? digits.toULongLong(&ok) : 0;
    if (!ok || number == 0 || (shift > 0 && number > (~0ULL >> shift)))
        throw UsageError(u"valeur incorrecte %1 pour l'option %2 : une taille est attendue (par "
                         u"exemple 500M ou 10G)"_s.arg(quoted(value), quoted(name)));
    return std::uint64_t{number} << shift;
}

const std::vector<OptionSpec> &optionSpecs()
{
    static const std::vector<OptionSpec> specs = {
        {u'h', u"help"_s, false, [](CliOptions &o, auto &, auto &) { o.help = true; }},
        {QChar(), u"version"_s, false, [](CliOptions &o, auto &, auto &) { o.version = true; }},
        {u'u', u"unique"_s, false, [](CliOptions &o, auto &, auto &) { o.unique = true; }},
        {u's', u"sort"_s, false, [](CliOptions &o, auto &, auto &) { o.sort = true; }},
        {QChar(), u"source"_s, false, [](CliOptions &o, auto &, auto &) { o.source = true; }},
        {u'c', u"count"_s, false, [](CliOptions &o, auto &, auto &) { o.count = true; }},
        {u'0', u"null"_s, false, [](CliOptions &o, auto &, auto &) { o.null = true; }},
        {u'q', u"quiet"_s, false, [](CliOptions &o, auto &, auto &) { o.quiet = true; }},
        {QChar(), u"tokens"_s, false, [](CliOptions &o, auto &, auto &) { o.tokens = true; }},
        {QChar(), u"input-encoding"_s, true,
         [](CliOptions &o, const QString &name, const QString &v) {
             o.inputEncoding = parseInputEncoding(name, v);
             o.inputEncodingGiven = true;
         }},
        {QChar(), u"format"_s, true,
         [](CliOptions &o, const QString &name, const QString &v) {
             o.formatText = parseFormat(name, v);
         }},
        {QChar(), u"max-expand"_s, true,
         [](CliOptions &o, const QString &name, const QString &v) {
             o.maxExpand = parseSize(name, v);
         }},
        {QChar(), u"separator"_s, true,
         [](CliOptions &o, auto &, const QString &v) {
             o.hasSeparator = true;
             o.separator = v;
         }},
        {u'o', u"output"_s, true,
         [](CliOptions &o, const QString &name, const QString &v) {
             if (v.isEmpty())
                 throw UsageError(u"l'option %1 attend un nom de fichier"_s.arg(quoted(name)));
             // "-" is standard output, as no --output at all.
             o.outputPath = v == u"-" ? QString() : v;
         }},
        {QChar(), u"encoding"_s, true,
         [](CliOptions &o, const QString &name, const QString &v) {
             o.encoding = parseEncoding(name, v);
         }},
        {QChar(), u"glob"_s, true, [](CliOptions &o, auto &, const QString &v) { o.globs << v; }},
        {QChar(), u"files-from"_s, true,
         [](CliOptions &o, const QString &name, const QString &v) {
             if (v.isEmpty())
                 throw UsageError(u"l'option %1 attend un nom de fichier"_s.arg(quoted(name)));
             o.filesFrom << v;
         }},
        {u'j', u"jobs"_s, true,
         [](CliOptions &o, const QString &name, const QString &v) { o.jobs = parseJobs(name, v); }},
    };
    return specs;
}

const OptionSpec *findLong(const QString &name)
{
    for (const OptionSpec &definition : optionSpecs()) {
        if (definition.longName == name)
            return &definition;
    }
    return nullptr;
}

const OptionSpec *findShort(QChar name)
{
    for (const OptionSpec &definition : optionSpecs()) {
        if (!definition.shortName.isNull() && definition.shortName == name)
            return &definition;
    }
    return nullptr;
}

void checkCombinations(const CliOptions &o)
{
    const auto clash = [](const QString &a, const QString &b) {
        throw UsageError(
            u"les options %1 et %2 ne s'emploient pas ensemble"_s.arg(quoted(a), quoted(b)));
    };
    if (o.count && o.source)
        clash(u"--count"_s, u"--source"_s);
    if (o.count && o.hasSeparator)
        clash(u"--count"_s, u"--separator"_s);
    // Standard input can be read once only.
    const qsizetype stdinUses = o.inputs.count(u"-"_s) + o.filesFrom.count(u"-"_s);
    if (stdinUses > 1)
        throw UsageError(
            u"l'entrée standard %1 ne peut être lue qu'une fois"_s.arg(quoted(u"-"_s)));
}

} // namespace

CliOptions ParseCliOptions(const QStringList &arguments)
{
    CliOptions options;
    bool optionsEnded = false;
    bool encodingGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || argument == u"-" || !argument.startsWith(u'-')) {
            options.inputs << argument;
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
            continue;
        }
        const auto takeValue = [&](const QString &name) -> QString {
            if (i + 1 >= arguments.size())
                throw UsageError(u"l'option %1 attend une valeur"_s.arg(quoted(name)));
            return arguments[++i];
        };
        if (argument.startsWith(u"--")) {
            const qsizetype equals = argument.indexOf(u'=');
            const QString name = equals < 0 ? argument : argument.left(equals);
            const OptionSpec *definition = findLong(name.mid(2));
            if (!definition)
                throw UsageError(u"option inconnue %1"_s.arg(quoted(name)));
            if (!definition->takesValue && equals >= 0)
                throw UsageError(u"l'option %1 ne prend pas de valeur"_s.arg(quoted(name)));
            const QString value = !definition->takesValue ? QString()
                                  : equals >= 0           ? argument.mid(equals + 1)
                                                          : takeValue(name);
            definition->apply(options, name, value);
            encodingGiven = encodingGiven || definition->longName == u"encoding";
            continue;
        }
        // A cluster of short options: "-us", "-j4", "-o fichier".
        for (qsizetype k = 1; k < argument.size(); ++k) {
            const QString name = u"-"_s + argument[k];
            const OptionSpec *definition = findShort(argument[k]);
            if (!definition)
                throw UsageError(u"option inconnue %1"_s.arg(quoted(name)));
            if (!definition->takesValue) {
                definition->apply(options, name, QString());
                continue;
            }
            const QString value = k + 1 < argument.size() ? argument.mid(k + 1) : takeValue(name);
            definition->apply(options, name, value);
            break;
        }
    }
    if (options.help || options.version)
        return options;
    if (encodingGiven && options.outputPath.isEmpty())
        throw UsageError(u"l'option %1 ne s'emploie qu'avec %2"_s.arg(quoted(u"--encoding"_s),
                                                                      quoted(u"--output"_s)));
    checkCombinations(options);
    return options;
}

QString UsageLine()
{
    return u"Usage : extracteur-cli [OPTIONS] [FICHIER | DOSSIER | -] ..."_s;
}

QString CliVersionText()
{
    return u"extracteur-cli %1.%2\n"_s.arg(EXTRACTEUR_VERSION_MAJOR).arg(EXTRACTEUR_VERSION_MINOR);
}

QString HelpText()
{
    return UsageLine() + uR"(

Extrait les adresses électroniques de ce que contiennent des fichiers : chaque ligne de la sortie
est une adresse, local@domaine, telle qu'on la colle dans un logiciel de messagerie (sans
chevrons, guillemets, ponctuation ni « mailto: »), le domaine en minuscules. Les courriels et
boîtes mbox, pages web, carnets d'adresses (vCard, LDIF), JSON, fichiers compressés et archives
sont décodés avant la recherche. Les identifiants de message, noms de fichiers comme logo@2x.png
et adresses masquées (« jean [at] exemple [dot] fr ») ne sont pas des adresses. Avec --tokens :
les éléments de la fenêtre d'Extracteur, avec ses règles. Sortie en UTF-8, dans l'ordre des
fichiers puis des lignes. Chaque entrée est lue au fil de l'eau, quelle que soit sa taille.

Entrées :
  FICHIER             un fichier, un tube nommé, /dev/stdin ou <(zcat ...)
  DOSSIER             tous les fichiers ordinaires du dossier et de ses sous-dossiers, dans
                      l'ordre des chemins ; les liens symboliques vers des dossiers ne sont pas
                      suivis
  -                   l'entrée standard (aussi sans aucun argument)

Options :
  -u, --unique        garder la première occurrence de chaque adresse, sans tenir compte de la
                      casse
  -s, --sort          trier comme la fenêtre (ordre alphabétique, sans tenir compte de la casse)
      --separator TEXTE
                      une seule ligne, les adresses séparées par TEXTE
      --source        chaque ligne : chemin<TAB>numéro de ligne<TAB>adresse ; dans un nom, le
                      saut de ligne, la tabulation et la barre oblique inverse s'écrivent \n, \t
                      et \\
  -c, --count         seulement le nombre d'adresses par fichier (chemin<TAB>nombre, nom écrit
                      comme avec --source), puis le total (total<TAB>nombre)
  -o, --output FICHIER
                      écrire dans FICHIER comme la fenêtre enregistre la liste (CR LF, marque
                      d'ordre des octets) ; le texte est gardé en mémoire jusqu'à la fin ; en
                      cas d'échec, ou si aucune entrée n'a pu être lue, l'ancien fichier reste
                      intact ; « - » : la sortie standard ; un périphérique comme /dev/null est
                      accepté
      --encoding cp1252|utf8|utf16le|utf16be
                      codage du fichier de --output (par défaut cp1252, comme la fenêtre
                      après une extraction) ; une adresse que cp1252 ne peut pas écrire est
                      une erreur et rien n'est écrit
      --input-encoding auto|cp1252|utf8|utf16le|utf16be
                      codage du texte lu (par défaut auto : la marque d'ordre des octets, sinon
                      UTF-16 reconnu à ses octets nuls, sinon UTF-8 là où les octets en sont,
                      sinon Windows-1252 ; avec --tokens, la règle de la fenêtre)
      --format auto|text
                      text : lire chaque entrée comme du texte brut, sans décoder son format
      --max-expand TAILLE
                      au plus TAILLE octets décompressés par entrée (par défaut 10G ; 500M,
                      2G...)
      --tokens        les éléments de la fenêtre au lieu des adresses : une entrée par ligne,
                      découpage aux virgules et aux blancs, guillemets qui regroupent, chaque
                      élément qui contient « @ », tel quel
  -0, --null          un octet nul au lieu du saut de ligne après chaque entrée ; avec
                      --files-from, les noms sont séparés par des octets nuls
      --files-from FICHIER
                      lire la liste des entrées dans FICHIER (« - » : l'entrée standard), une
                      par ligne
      --glob MOTIF    dans les dossiers, ne lire que les fichiers dont le nom correspond à MOTIF
                      (* ? [...]) ; « !MOTIF » exclut ; option répétable
  -j, --jobs N        nombre de fils de travail (par défaut : un par cœur) ; l'ordre de la
                      sortie n'en dépend pas
  -q, --quiet         ne pas afficher la progression sur la sortie d'erreur
  -h, --help          afficher cette aide
      --version       afficher la version

Codes de sortie : 0 tout a été lu ; 1 un fichier n'a pas pu être lu ou la sortie n'a pas pu être
écrite (le reste a été traité) ; 2 ligne de commande incorrecte.

Exemples :
  extracteur-cli -u boite.mbox
  extracteur-cli -u page.html
  extracteur-cli -us --glob '*.txt' archives/ > adresses.txt
  zcat courriels.mbox.gz | extracteur-cli -u --source
  extracteur-cli -us --separator '; ' invites.csv
  extracteur-cli --source export.txt | grep 'exemple\.fr'
  extracteur-cli -u -o adresses.txt --encoding utf8 dossier/
  extracteur-cli --tokens contacts.txt
  find archives -name '*.txt' -print0 | extracteur-cli --files-from - -0 | tr '\0' '\n'
  find archives -type f -print0 | xargs -0 -P 4 -n 100 extracteur-cli -q > adresses.txt
)"_s;
}
