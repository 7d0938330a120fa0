#include "support/fixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "text/text_table.h"
#include "platform/executable_info.h"

void useExecutableIn(const QString &folder, const QString &fileName)
{
    ExecutableFacts facts = executableFacts();
    facts.filePath = QDir(folder).filePath(fileName);
    setExecutableFacts(facts);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(QDir(folder).filePath(QStringLiteral("config"))));
}

QString freshSettingsIn(const QTemporaryDir &dir, const QString &executableName)
{
    if (!dir.isValid())
        qFatal("no temporary folder");
    useExecutableIn(dir.path(), executableName);
    QString name = executableName;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    const QString settings = dir.filePath(name + QStringLiteral(".INI"));
    QFile::remove(settings);
    return settings;
}

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write a test file");
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    writeBytes(path, bytes);
    return path;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

TextTable tableOf(const QStringList &entries)
{
    TextTable table;
    for (const QString &entry : entries)
        table.append(entry);
    return table;
}

QStringList entriesOf(const TextTable &table)
{
    QStringList entries;
    for (qsizetype i = 0; i < table.size(); ++i)
        entries.append(table.at(i).toString());
    return entries;
}
