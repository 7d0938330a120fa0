#pragma once

#include <QStringList>

#include "extract/text_table.h"

// Test fixtures: a TextTable from a list of texts, and back.
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
