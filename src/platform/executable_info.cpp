#include "platform/executable_info.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

namespace {

ExecutableFacts &storedFacts()
{
    static ExecutableFacts facts = readProcessExecutableFacts();
    return facts;
}

// Where the file name starts and where its extension starts (its size when it has none); a "."
// that begins the file name is part of the name.
struct NameParts
{
    qsizetype nameStart = 0;
    qsizetype extensionStart = 0;
};

NameParts nameParts(const QString &path)
{
    NameParts parts;
    parts.nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    parts.extensionStart = dot > parts.nameStart ? dot : path.size();
    return parts;
}

} // namespace

QString ExecutablePathWithoutExtension()
{
    const QString &executable = executableFacts().filePath;
    return executable.left(nameParts(executable).extensionStart);
}

QString ExecutableBaseName()
{
    const QString &executable = executableFacts().filePath;
    const NameParts parts = nameParts(executable);
    return executable.mid(parts.nameStart, parts.extensionStart - parts.nameStart);
}

QString DateSeparatorOf(const QString &format)
{
    auto isField = [](QChar c) { return c == u'd' || c == u'M' || c == u'y'; };
    qsizetype i = 0;
    while (i < format.size() && !isField(format[i]))
        ++i;
    while (i < format.size() && isField(format[i]))
        ++i;
    const qsizetype start = i;
    while (i < format.size() && !isField(format[i]))
        ++i;
    const QString separator = format.mid(start, i - start);
    return separator.size() <= 1 ? separator : QStringLiteral("/");
}

const ExecutableFacts &executableFacts()
{
    return storedFacts();
}

void setExecutableFacts(const ExecutableFacts &facts)
{
    storedFacts() = facts;
}

ExecutableFacts readProcessExecutableFacts()
{
    ExecutableFacts facts;
    facts.filePath = QCoreApplication::instance()
                         ? QCoreApplication::applicationFilePath()
                         : QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    facts.versionMajorMinor =
        (quint32{EXTRACTEUR_VERSION_MAJOR} << 16) | quint32{EXTRACTEUR_VERSION_MINOR};
    // The C locale has no regional date format of its own (Qt gives it "d MMM yyyy").
    const QLocale locale = QLocale::system();
    facts.dateSeparator = locale.language() == QLocale::C
                              ? QStringLiteral("/")
                              : DateSeparatorOf(locale.dateFormat(QLocale::ShortFormat));
    return facts;
}

QString ApplicationTitle()
{
    const QString path = executableFacts().filePath.left(255);
    QString name = path.sliced(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    return name.front() + name.sliced(1).toLower();
}
