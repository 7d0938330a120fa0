#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>

#include <QDir>

#include "extract/text_table.h"
#include "platform/executable_info.h"

// Small fixtures shared by the logic tests (header only: they link no support library).

// Points the executable facts at a name inside `folder`, so that the settings file and the
// caption of a test never touch the folder of the test binary.
inline void useExecutableIn(const QString &folder,
                            const QString &fileName = QStringLiteral("extracteur"))
{
    ExecutableFacts facts = executableFacts();
    facts.filePath = QDir(folder).filePath(fileName);
    setExecutableFacts(facts);
}

inline QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

// A TextTable from a list of texts, and back.
inline TextTable tableOf(const QStringList &entries)
{
    TextTable table;
    for (const QString &entry : entries)
        table.append(entry);
    return table;
}

inline QStringList entriesOf(const TextTable &table)
{
    QStringList entries;
    for (qsizetype i = 0; i < table.size(); ++i)
        entries.append(table.at(i).toString());
    return entries;
}
